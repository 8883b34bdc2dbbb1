// Ending without losing track of what is being written: every signal whose default action ends the
// program first removes the outputs in progress, then ends the program as that signal would. A
// module that crashes (or calls exit()) during one of its calls is named, with the call, in one
// line, and the program ends with status 1, as for any other failing module.
#pragma once

// Installs the handlers; call once, before any thread starts. Signals ignored when the program
// started (nohup's SIGHUP, SIGINT of a background job) stay ignored. SIGXFSZ is ignored, so that a
// file-size limit (ulimit -f) fails the write instead of ending the program; SIGPIPE keeps its
// default action.
void installCleanupOnAbnormalEnd();
