// Hostile input for the sixband program: the committed corpus of malformed audio files
// (tests/cli/malformed-audio: truncated headers, zero frames, wrong chunk sizes, more than two channels,
// bytes that are no audio), arguments that parse but make no sense, modules that crash or end the
// program, and signals. Each is refused or reported with status 1 or 2 and one line, or ends the run
// as the signal would, and nothing is left behind: no output, no temporary file. The sanitizer
// builds run these too, so a crash or an invalid access on any of them fails the suite.
#include "CliRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <thread>

namespace {

std::vector<std::filesystem::path> malformedFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(SIXBAND_MALFORMED_AUDIO_DIR))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs the program and checks that it refused cleanly; `mention` must appear in its one line.
void expectRefused(const std::vector<std::string>& args, const TempFolder& folder, const std::string& mention) {
    const auto before = folder.listing();
    const RunResult run = runSixband(args, folder.path());
    EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 2)
        << "exit status " << run.exitCode << ", signal " << run.signal << "\n" << run.err;
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("sixband: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
    EXPECT_EQ(folder.listing(), before) << "files left behind";
}

TEST(MalformedAudio, EachFileOfTheCorpusIsRefusedWithOneLineAndNothingOfItWritten) {
    const auto files = malformedFiles();
    ASSERT_GE(files.size(), 15u) << "the corpus in " << SIXBAND_MALFORMED_AUDIO_DIR << " is incomplete";
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        TempFolder folder;
        std::filesystem::copy_file(file, folder / name);
        writeAudio(folder / "good.wav", {noise(2000, 1), noise(2000, 2)}, 44100);
        expectRefused({"process", name, "-o", "out.wav"}, folder, name);
        expectRefused({"process", name, "-o", "out.flac", "--format", "pcm16"}, folder, name);
        // Among good files, on several jobs: named, and only the good file is written.
        auto expected = folder.listing();
        expected.insert({"out", "out/good.wav"});
        const RunResult batch = runSixband({"process", "good.wav", name, "-o", "out/", "--jobs", "2", "-q"}, folder.path());
        EXPECT_EQ(batch.exitCode, 1) << batch.err;
        EXPECT_EQ(lineCount(batch.err), 2u) << batch.err;
        EXPECT_EQ(batch.err.rfind("sixband: " + name + ": ", 0), 0u) << batch.err;
        EXPECT_EQ(folder.listing(), expected);
    }
}

// Little-endian `bytes`-byte words written over a file's header at `at`.
void patch(const std::filesystem::path& path, std::size_t at, std::uint64_t value, int bytes) {
    std::string data = fileBytes(path);
    for (int i = 0; i < bytes; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

TEST(MalformedAudio, AHeaderThatAnnouncesMoreThanTheFileHoldsIsRefusedWhateverTheType) {
    constexpr std::size_t kFrames = 20000;
    struct Type {
        const char* name;
        int format;
        int channels;
        int rate;
    };
    // Every type whose header gives a length that libsndfile can write.
    const Type types[] = {
        {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},     {"wavex.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 44100},
        {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100},   {"aifc", SF_FORMAT_AIFF | SF_FORMAT_ULAW, 2, 44100},
        {"au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 44100},       {"w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 2, 44100},
        {"voc", SF_FORMAT_VOC | SF_FORMAT_PCM_16, 2, 44100},     {"8svx", SF_FORMAT_SVX | SF_FORMAT_PCM_16, 1, 44100},
        {"rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2, 44100},   {"nist", SF_FORMAT_NIST | SF_FORMAT_PCM_16, 2, 44100},
        {"avr", SF_FORMAT_AVR | SF_FORMAT_PCM_16, 2, 44100},     {"mpc2k", SF_FORMAT_MPC2K | SF_FORMAT_PCM_16, 2, 44100},
        {"mat4", SF_FORMAT_MAT4 | SF_FORMAT_PCM_16, 2, 44100},   {"wve", SF_FORMAT_WVE | SF_FORMAT_ALAW, 1, 8000},
    };
    const std::string truncated = "is truncated or corrupt: its header announces more audio than the file holds";
    for (const Type& type : types) {
        SCOPED_TRACE(type.name);
        TempFolder folder;
        const std::string name = std::string("in.") + type.name;
        const std::string padded = std::string("padded.") + type.name;
        const IntegerChannels channels(static_cast<std::size_t>(type.channels), std::vector<std::int32_t>(kFrames, 1 << 28));
        writeIntegerAudio(folder / name, channels, type.rate, type.format);
        // Bytes after the audio are no reason to refuse a file: its header states less than it holds.
        std::filesystem::copy_file(folder / name, folder / padded);
        std::ofstream(folder / padded, std::ios::binary | std::ios::app) << std::string(1000, '\0');
        for (const std::string& whole : {name, padded}) {
            const auto run = runSixband({"process", whole, "-o", "out.wav"}, folder.path());
            ASSERT_EQ(run.exitCode, 0) << whole << ": " << run.err;
            EXPECT_GE(readAudio(folder / "out.wav").channels[0].size(), kFrames) << whole;
        }
        std::filesystem::remove(folder / "out.wav");
        std::filesystem::resize_file(folder / name, std::filesystem::file_size(folder / name) / 2);
        expectRefused({"process", name, "-o", "out.wav"}, folder, name + ": " + truncated);
    }

    // Headers that claim what no file of this size could hold, or nothing a reader can go by.
    TempFolder folder;
    writeIntegerAudio(folder / "claims.aiff", {std::vector<std::int32_t>(kFrames)}, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::size_t comm = fileBytes(folder / "claims.aiff").find("COMM");
    ASSERT_NE(comm, std::string::npos);
    // COMM's frame count is big-endian: 10^8 is 05 F5 E1 00.
    patch(folder / "claims.aiff", comm + 10, 0x00E1F505, 4);
    writeIntegerAudio(folder / "data.w64", {std::vector<std::int32_t>(kFrames)}, 44100, SF_FORMAT_W64 | SF_FORMAT_PCM_16);
    const std::size_t data = fileBytes(folder / "data.w64").find("data");
    ASSERT_NE(data, std::string::npos);
    patch(folder / "data.w64", data + 16, 24 + 3 * kFrames, 8);
    writeIntegerAudio(folder / "rate.wav", {std::vector<std::int32_t>(kFrames)}, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    patch(folder / "rate.wav", 24, 0, 4);
    std::ofstream(folder / "empty.mp3", std::ios::binary).flush();
    std::ofstream(folder / "text.mp3", std::ios::binary) << "not audio at all, only words\n";
    std::filesystem::copy_file(folder / "rate.wav", folder / "wave.mp3");
    patch(folder / "wave.mp3", 24, 44100, 4);
    const std::pair<const char*, std::string> cases[] = {
        {"claims.aiff", truncated},
        {"data.w64", truncated},
        {"rate.wav", "claims an impossible sample rate of 0 Hz"},
        {"empty.mp3", "is empty"},
        {"text.mp3", "is not MPEG audio"},
        {"wave.mp3", "is not MPEG audio"},
    };
    // The sniffing that refuses those lets real MPEG audio through, behind its ID3v2 tag too.
    writeIntegerAudio(folder / "plain.mp3", {std::vector<std::int32_t>(kFrames)}, 44100,
                      SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    // An ID3v2.4 tag of 300 bytes (size in 7-bit bytes: 2, 44), all of them padding.
    std::ofstream(folder / "tagged.mp3", std::ios::binary)
        << std::string("ID3\x04\0\0\0\0\x02\x2C", 10) << std::string(300, '\0') << fileBytes(folder / "plain.mp3");
    const auto tagged = runSixband({"process", "tagged.mp3", "-o", "tagged.wav", "-q"}, folder.path());
    EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
    EXPECT_EQ(tagged.err, "");
    std::filesystem::remove(folder / "tagged.wav");
    for (const auto& [name, mention] : cases) {
        SCOPED_TRACE(name);
        // libsndfile's MPEG decoder writes its notes on standard error itself, -q or not.
        expectRefused({"process", name, "-o", "out.wav", "-q"}, folder, std::string(name) + ": " + mention);
    }
}

TEST(MalformedAudio, AStreamSavedAsAFileIsReadToItsEndWithANote) {
    // Written where the writer could not go back to fill in its sizes, as ffmpeg leaves them on a pipe.
    constexpr std::size_t kFrames = 30000;
    TempFolder folder;
    const Channels audio{noise(kFrames, 3), noise(kFrames, 4)};
    writeAudio(folder / "stream.wav", audio, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string wav = fileBytes(folder / "stream.wav");
    patch(folder / "stream.wav", 4, 0xFFFFFFFF, 4);
    patch(folder / "stream.wav", wav.find("data") + 4, 0xFFFFFFFF, 4);
    writeAudio(folder / "stream.w64", audio, 44100, SF_FORMAT_W64 | SF_FORMAT_PCM_16);
    const std::string w64 = fileBytes(folder / "stream.w64");
    patch(folder / "stream.w64", 16, ~0ull, 8);
    patch(folder / "stream.w64", w64.find("data") + 16, 0x7FFFFFFFFFFFFFFF, 8);
    for (const char* name : {"stream.wav", "stream.w64"}) {
        SCOPED_TRACE(name);
        const auto run = runSixband({"process", name, "-o", "out.wav", "--plugin", FAKE_SlowPassThrough, "--block", "8192"}, folder.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "sixband: " + std::string(name) +
                               ": its header gives no length (a stream saved as a file); read to its end\n");
        EXPECT_NE(run.out.find(std::to_string(kFrames) + " frames"), std::string::npos) << run.out;
        const Audio out = readAudio(folder / "out.wav");
        ASSERT_EQ(out.channels[1].size(), kFrames);
        EXPECT_NEAR(out.channels[1].back(), audio[1].back(), 1.0 / 32768);
        const auto quiet = runSixband({"process", name, "-o", "quiet.wav", "-q"}, folder.path());
        EXPECT_EQ(quiet.exitCode, 0);
        EXPECT_EQ(quiet.err, "");
    }
}

TEST(BadArguments, NonsenseValuesAreRefusedWithOneLineAndNothingWritten) {
    TempFolder folder;
    writeAudio(folder / "good.wav", {noise(2000, 1), noise(2000, 2)}, 44100);
    const std::vector<std::string> process = {"process", "good.wav", "-o", "out.wav"};
    auto with = [&](std::initializer_list<std::string> extra) {
        std::vector<std::string> args = process;
        args.insert(args.end(), extra);
        return args;
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {with({"--set", "0=nan"}), "0=nan"},
        {with({"--set", "0=inf"}), "0=inf"},
        {with({"--set", "0=-inf"}), "0=-inf"},
        {with({"--set", "0=1e39"}), "0=1e39"},
        {with({"--set", "80 Hz=nan dB"}), "nan dB"},
        {with({"--set", "80 Hz=1e400dB"}), "1e400"},
        {with({"--set", "="}), "="},
        {with({"--set", "99999999999999999999=0.5"}), "99999999999999999999"},
        {with({"--set", "-1=0.5"}), "-1"},
        {with({"--block", "0"}), "--block"},
        {with({"--block", "-1"}), "--block"},
        {with({"--block", "99999999999"}), "--block"},
        {with({"--jobs", "0"}), "--jobs"},
        {with({"--rate", "0"}), "--rate"},
        {with({"--rate", "-44100"}), "--rate"},
        {with({"--rate", "nan"}), "--rate"},
        {with({"--rate", "inf"}), "--rate"},
        {with({"--format", "bogus"}), "bogus"},
        {with({"--plugin", "/dev/null"}), "/dev/null"},
        {with({"--plugin", "good.wav"}), "good.wav"},
        {{"process", "good.wav", "-o", ""}, "output name is empty"},
        {{"process", "good.wav", "-o", "good.wav"}, "good.wav"},
        {{"process", "no-such-file.wav", "-o", "out.wav"}, "no-such-file.wav"},
        {{"process", std::string(5000, 'x') + ".wav", "-o", "out.wav"}, "xxxx"},
    };
    for (const auto& [args, mention] : cases) {
        std::string line;
        for (const std::string& arg : args) line += (arg.size() > 40 ? arg.substr(0, 40) + "..." : arg) + " ";
        SCOPED_TRACE(line);
        expectRefused(args, folder, mention);
    }
}

TEST(BadArguments, AFailedWriteLeavesNoTemporaryFile) {
    // A file-size limit (ulimit -f, counted in 512-byte blocks) that the output reaches mid-way.
    TempFolder folder;
    writeAudio(folder / "long.wav", {noise(5 * 44100, 1), noise(5 * 44100, 2)}, 44100);
    const auto before = folder.listing();
    const auto run = runShell("ulimit -f 200; $SIXBAND process long.wav -o out.wav", folder.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("sixband: out.wav: cannot write audio", 0), 0u) << run.err;
    EXPECT_EQ(folder.listing(), before) << "a temporary file was left";
    // A plot says which of the user's files it could not write, not the temporary one.
    const auto plot = runShell("ulimit -f 10; $SIXBAND response -o plot.png -q", folder.path());
    EXPECT_EQ(plot.exitCode, 1) << plot.err;
    EXPECT_EQ(plot.err.rfind("sixband: plot.png: cannot write the plot", 0), 0u) << plot.err;
    EXPECT_EQ(folder.listing(), before) << "a temporary file was left";
}

TEST(Outputs, HaveTheUsualPermissionsAndABatchMayHoldMoreFilesThanCanBeOpenAtOnce) {
    TempFolder folder;
    constexpr int kFiles = 300;
    std::string names;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "in" + std::to_string(i) + ".wav";
        writeAudio(folder / name, {noise(64, static_cast<unsigned>(i))}, 44100);
        names += " " + name;
    }
    const auto run = runShell("umask 022; $SIXBAND process" + names + " -o out/ --jobs 4 -q && "
                              "$SIXBAND response -o plot.svg -q",
                              folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const auto& output : {folder / "out" / "in0.wav", folder / "out" / "in299.wav", folder / "plot.svg"}) {
        struct stat status {};
        ASSERT_EQ(stat(output.c_str(), &status), 0) << output;
        EXPECT_EQ(status.st_mode & 0777, 0644u) << output;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "out"), std::filesystem::directory_iterator()),
              kFiles);
}

TEST(Outputs, NodesAreWrittenThroughAndReplacedFilesKeepTheirLinksAndPermissions) {
    TempFolder folder;
    writeAudio(folder / "in.wav", {noise(3000, 1), noise(3000, 2)}, 44100);
    // A FIFO with a reader gets the same stream as a pipe; one that cannot take a WAV stays a FIFO.
    const auto fifo = runShell("mkfifo f && $SIXBAND process in.wav -o - --type au -q | cat > ref.au && "
                               "{ timeout 10 cat f > got.au & } && $SIXBAND process in.wav -o f --type au -q && wait && "
                               "cmp ref.au got.au && $SIXBAND process in.wav -o f --type wav -q; echo \"status $?\"; "
                               "test -p f && rm f ref.au got.au",
                               folder.path());
    EXPECT_EQ(fifo.exitCode, 0) << fifo.err;
    EXPECT_EQ(fifo.out, "status 2\n") << fifo.err;
    // A descriptor's name is the descriptor, whatever it is open on.
    const auto descriptor = runShell("$SIXBAND process in.wav -o /proc/self/fd/1 --type au -q > fd.au", folder.path());
    EXPECT_EQ(descriptor.exitCode, 0) << descriptor.err;
    EXPECT_EQ(readAudio(folder / "fd.au").channels[0].size(), 3000u);

    // Through a symlink its target is replaced, and the link stays a link.
    writeAudio(folder / "target.wav", {noise(10, 3)}, 44100);
    std::filesystem::create_symlink("target.wav", folder / "link.wav");
    EXPECT_EQ(runSixband({"process", "in.wav", "-o", "link.wav", "-q"}, folder.path()).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.wav"));
    EXPECT_EQ(readAudio(folder / "target.wav").channels[0].size(), 3000u);
    // A replaced file keeps its permissions; one the user may not write is refused (root may).
    for (const mode_t mode : {0600, 0444}) {
        const auto name = "kept" + std::to_string(mode) + ".wav";
        writeAudio(folder / name, {noise(10, 3)}, 44100);
        chmod((folder / name).c_str(), mode);
        const auto run = runSixband({"process", "in.wav", "-o", name, "-q"}, folder.path());
        const bool mayWrite = geteuid() == 0 || (mode & 0200);
        EXPECT_EQ(run.exitCode, mayWrite ? 0 : 2) << run.err;
        EXPECT_EQ(readAudio(folder / name).channels[0].size(), mayWrite ? 3000u : 10u);
        struct stat status {};
        stat((folder / name).c_str(), &status);
        EXPECT_EQ(status.st_mode & 07777, mode) << name;
    }
    // Names up to the folder's limit work, although the temporary name is longer.
    const std::string longest = std::string(251, 'n') + ".wav";
    EXPECT_EQ(runSixband({"process", "in.wav", "-o", longest, "-q"}, folder.path()).exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder / longest));
    // Two inputs and a file's name: refused, not taken for a folder to make.
    const auto before = folder.listing();
    EXPECT_EQ(runSixband({"process", "in.wav", "fd.au", "-o", "single.wav"}, folder.path()).exitCode, 2);
    EXPECT_EQ(folder.listing(), before);

    // A device node: written through (here a null device of the scratch folder's own, never the
    // system's), and a full one fails the run but stays.
    if (mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod((folder / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "mknod is not allowed here (" << std::strerror(errno) << "): device outputs left out";
    const auto null = runSixband({"process", "in.wav", "-o", "null", "--type", "wav", "-q"}, folder.path());
    const auto full = runSixband({"process", "in.wav", "-o", "full", "--type", "wav", "-q"}, folder.path());
    if (null.exitCode != 0 && null.err.find("Operation not permitted") != std::string::npos)
        GTEST_SKIP() << "the folder is mounted nodev: device outputs left out";
    EXPECT_EQ(null.exitCode, 0) << null.err;
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_EQ(full.err, "sixband: full: cannot write audio: No space left on device\n");
    for (const char* node : {"null", "full"}) {
        struct stat status {};
        ASSERT_EQ(stat((folder / node).c_str(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << node << " was replaced";
    }
}

TEST(Interruption, EveryEndingSignalWithSeveralJobsWritingLeavesNoFileOfAnyOfThem) {
    // SIGQUIT and SIGXCPU dump core by default: not here.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // SIGKILL cannot be caught: only outputs that have no name until complete leave nothing then.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGXCPU, SIGRTMIN + 3, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder folder;
        for (const char* name : {"a.wav", "b.wav", "c.wav"})
            writeAudio(folder / name, {noise(10 * 44100, 1), noise(10 * 44100, 2)}, 44100);
        std::filesystem::create_directory(folder / "out");
        const auto before = folder.listing();
        RunningSixband running({"process", "a.wav", "b.wav", "c.wav", "-o", "out/", "--jobs", "3", "--block", "64",
                                "--plugin", FAKE_SlowPassThrough},
                               folder.path());
        // Interrupt once every job has its temporary output open.
        bool allWriting = false;
        std::size_t nameless = 0;
        for (int i = 0; i < 500 && !allWriting; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            allWriting = outputsInProgress(running.pid(), folder / "out", &nameless) >= 3;
        }
        ASSERT_TRUE(allWriting) << "sixband never had three outputs open";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (signal == SIGKILL) {
            const int probe = open((folder / "out").c_str(), O_TMPFILE | O_RDWR, 0600);
            if (probe < 0) {
                kill(running.pid(), SIGTERM);
                running.finish();
                GTEST_SKIP() << folder.path() << " cannot hold nameless files (O_TMPFILE): SIGKILL left out";
            }
            close(probe);
            EXPECT_EQ(nameless, 3u) << "outputs in progress have names";
        }
        kill(running.pid(), signal);
        const auto result = running.finish();
        EXPECT_EQ(result.signal, signal);
        EXPECT_EQ(folder.listing(), before) << "an interrupted job left a file";
    }
}

TEST(FailingModule, ACrashOrAnExitDuringAnyCallIsNamedInOneLineAndLeavesNothing) {
    TempFolder folder;
    writeAudio(folder / "in.wav", {noise(4096, 1), noise(4096, 2)}, 44100);
    const std::string module = FAKE_Misbehaving;
    struct Case {
        const char* fault;
        const char* in;
        std::string command;
        std::string says;
    };
    const Case cases[] = {
        {"segv", "process", "process in.wav -o out.wav", "crashed (SIGSEGV, an invalid memory access) during its processReplacing call"},
        {"overflow", "process", "process in.wav -o out.flac", "crashed (SIGSEGV, an invalid memory access) during its processReplacing call"},
        {"exit", "process", "process in.wav -o out.wav", "called exit() during its processReplacing call"},
        {"abort", "open", "info", "crashed (SIGABRT, it aborted) during its dispatcher call (effOpen)"},
        {"segv", "open", "demo", "crashed (SIGSEGV, an invalid memory access) during its dispatcher call (effOpen)"},
        {"segv", "process", "response -o plot.png", "crashed (SIGSEGV, an invalid memory access) during its processReplacing call"},
        {"exit", "process", "bench --seconds 0.1", "called exit() during its processReplacing call"},
        {"exit", "load", "process in.wav -o out.wav --set 0=0.5", "called exit() during loading"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " in " + c.in + ": sixband " + c.command);
        const auto before = folder.listing();
        const RunResult run = runShell(std::string("ulimit -c 0; SIXBAND_FAKE_FAULT=") + c.fault +
                                           " SIXBAND_FAKE_FAULT_IN=" + c.in + " exec $SIXBAND " + c.command +
                                           " --plugin " + module + " 2>&1 >/dev/null",
                                       folder.path());
        EXPECT_EQ(run.exitCode, 1) << run.out;
        EXPECT_EQ(run.out, "sixband: module " + module + " " + c.says + "\n");
        EXPECT_EQ(folder.listing(), before) << "files left behind";
    }
}

TEST(FailingModule, ARecordBeyondReasonIsRefusedAndTextsAreShownEscaped) {
    TempFolder folder;
    for (const char* record : {"huge-params", "huge-inputs"}) {
        const RunResult run = runShell(std::string("SIXBAND_FAKE_RECORD=") + record + " $SIXBAND info --plugin " +
                                           FAKE_Misbehaving,
                                       folder.path());
        EXPECT_EQ(run.exitCode, 1) << record;
        EXPECT_EQ(lineCount(run.err), 1u) << run.err;
        EXPECT_NE(run.err.find("sixband hosts at most"), std::string::npos) << run.err;
        EXPECT_LT(run.out.size(), 1000u) << record;
    }
    const RunResult shown = runSixband({"info", "--plugin", FAKE_Misbehaving}, folder.path());
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("\"Gain\\x0A\\x1B[2J\""), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << "an escape sequence reached the terminal";
    const RunResult flags = runShell(std::string("SIXBAND_FAKE_RECORD=odd-flags $SIXBAND info --plugin ") + FAKE_Misbehaving,
                                     folder.path());
    EXPECT_NE(flags.out.find("flags         0x112 (has clip, can replace, other bits 0x100)"), std::string::npos)
        << flags.out;
}

}  // namespace
