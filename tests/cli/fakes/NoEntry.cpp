// A shared object that is no module: it exports neither entry.
extern "C" __attribute__((visibility("default"))) int notAnEntry() { return 0; }
