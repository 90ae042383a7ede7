// SPDX-License-Identifier: MIT
// Verification (/v) through the built tool, on Linux and, with the Windows
// build, under Wine: the evasions are never genuine, the samples' genuine
// file is, a stream's verdict is its file's, a regular file is read once,
// the library's own failures end the run with 2, and the key folder's
// errors come before any file, with their reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include "evasions.h"
#include "tool_run.h"

namespace {

using json = nlohmann::json;
using titlecraft::Bytes;

const std::string Samples = std::string(SOURCE_DIR) + "/samples";
const std::string SampleKeys = "--keys=" + Samples + "/keys";
const char Slash = UnderWine ? '\\' : '/';

// A key folder with the made-up standard key, as 32 digits and CR LF, the
// Korean one as 16 raw bytes, and, unless told not to, the made-up root.
std::string writeKeys(const TempDir& dir, const std::string& folder = "keys", bool root = true) {
    std::filesystem::create_directory(dir.path + "/" + folder);
    std::string hex;
    for (std::uint8_t b : titlecraft::SyntheticCommonKeys[0])
        hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    dir.write(folder + "/standard.key", titlecraft::concat(Bytes(hex.begin(), hex.end()), Bytes{'\r', '\n'}));
    const std::uint8_t* korean = titlecraft::SyntheticCommonKeys[1];
    dir.write(folder + "/korean.key", Bytes(korean, korean + 16));
    if (root)
        dir.write(folder + "/root.key", titlecraft::rootKeyBytes());
    return "--keys=" + folder;
}

TEST(Verify, EvasionsAreNeverGenuine) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    std::string noRoot = writeKeys(dir, "noroot", false);
    for (const evasion::Evasion& e : evasion::evasions()) {
        SCOPED_TRACE(e.name);
        dir.write("f.wad", e.file);
        ToolRun run = runTool({"/j", "/v", keys, "f.wad"}, dir.path);
        EXPECT_EQ(run.exitCode, e.exitCode);
        EXPECT_EQ(json::parse(run.out)["verify"]["verdict"], e.verdict);
        ToolRun unanchored = runTool({"/n", "/v", noRoot, "f.wad"}, dir.path);
        EXPECT_NE(unanchored.exitCode, 0);
        EXPECT_EQ(unanchored.out.find("Verdict: genuine"), std::string::npos);
    }
    // The title they were made from is genuine, and unproven without the root.
    dir.write("f.wad", evasion::genuine());
    EXPECT_EQ(runTool({"/n", "/v", keys, "f.wad"}, dir.path).exitCode, 0);
    EXPECT_EQ(runTool({"/n", "/v", noRoot, "f.wad"}, dir.path).exitCode, 16);
}

// The README's sample run: signed.wad is the genuine one.
TEST(Verify, SamplesAsTheReadmeShowsThem) {
    std::vector<std::string> args = {"/n", "/v", "--keys=samples/keys"};
    for (const std::string& name : titlecraft::sampleNames())
        args.push_back("samples/" + name);
    ToolRun run = runTool(args, SOURCE_DIR);
    EXPECT_EQ(run.exitCode, 15);
    std::string readme = readFileBytes(std::string(SOURCE_DIR) + "/README.md");
    EXPECT_NE(readme.find("```\n" + run.out + "```\n"), std::string::npos) << "README.md shows another output:\n" << run.out;
    ToolRun alone = runTool({"/n", "/v", "--keys=samples/keys", "samples/signed.wad"}, SOURCE_DIR);
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_NE(alone.out.find("Contents: 3 of 3 intact\nVerdict: genuine\n"), std::string::npos);
}

// A download piped in whose first read is short, or that comes a byte at
// a time: the verdict of the file.
TEST(Verify, StreamsGiveTheFilesVerdict) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    dir.write("good.wad", evasion::genuine());
    dir.write("bad.tmd", [] {
        evasion::Bytes tmd = evasion::parts({.contentSeed = evasion::Replaced}).tmd;
        tmd.at(0x1E4 + 0x10) ^= 1;  // a record's hash changed after signing
        return titlecraft::concat(tmd, titlecraft::syntheticCertChain());
    }());
    const std::string tool = UnderWine ? "wine \"$0\"" : "$TESSARLUMEN_TEST_WRAPPER \"$0\"";
    const std::string forms[] = {
        "{ head -c100 \"$1\"; sleep 0.3; tail -c+101 \"$1\"; } | " + tool + " /j /v " + keys + " -",
        "dd if=\"$1\" bs=1 status=none | " + tool + " /j /v " + keys + " -",
    };
    for (const char* name : {"good.wad", "bad.tmd"}) {
        ToolRun file = runTool({"/j", "/v", keys, name}, dir.path);
        std::string asStream = file.out;
        asStream.replace(asStream.find(name), std::strlen(name), "-");
        for (const std::string& form : forms) {
            SCOPED_TRACE(std::string(name) + ": " + form);
            ToolRun run = runProgram("/bin/bash", {"-c", form, TESSARLUMEN_EXE, name}, dir.path, {}, false);
            EXPECT_EQ(run.exitCode, file.exitCode);
            EXPECT_EQ(run.out, asStream);
        }
    }
    EXPECT_EQ(runTool({"/n", "/v", keys, "bad.tmd"}, dir.path).exitCode, 15);
}

// Under /v a regular file's bytes are read once, every one of them.
TEST(Verify, ARegularFileIsReadOnce) {
    SKIP_UNDER_WINE("the failure-injection build counts the bytes read");
    TempDir dir;
    std::string keys = writeKeys(dir);
    Bytes file = evasion::genuine();
    dir.write("f.wad", file);
    std::string report = dir.path + "/report";
    ToolRun run = runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", "/v", keys, "f.wad"}, dir.path,
                             {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    EXPECT_EQ(run.exitCode, 0);
    std::string counts = readFileBytes(report);
    // The key files' bytes, then the file's, once.
    std::size_t keyBytes = 34 + 16 + 512;
    EXPECT_NE(counts.find(" read-bytes=" + std::to_string(keyBytes + file.size()) + "\n"), std::string::npos) << counts;
}

// The run's exit code: the failure that ended it, else the first in file
// order, where 16 counts only when no file failed otherwise.
TEST(Verify, RunExitCodes) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    dir.write("good.wad", evasion::genuine());
    dir.write("bad.wad", evasion::evasions()[0].file);
    dir.write("unproven.wad", evasion::evasions()[6].file);
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"/n", "/v", keys, "good.wad", "good.wad"}, 0},
        {{"/n", "/v", keys, "unproven.wad", "good.wad"}, 16},
        {{"/n", "/v", keys, "unproven.wad", "bad.wad", "unproven.wad"}, 15},
        // The file that cannot be read ends the run: its code, not an earlier 15.
        {{"/n", "/v", keys, "bad.wad", "missing.wad", "good.wad"}, 11},
        {{"/n", "/k", "/v", keys, "bad.wad", "missing.wad", "good.wad"}, 15},
        {{"/n", "/k", "/v", keys, "unproven.wad", "missing.wad"}, 11},
        {{"/j", "/v", keys, "unproven.wad", "missing.wad"}, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(runTool(c.args, dir.path).exitCode, c.exitCode);
    }
}

// Every core gives the output of one, byte for byte, in the arguments'
// order: over the evasions and the samples, with a file that cannot be
// read in the middle, with and without /k, as text and as JSON.
TEST(Verify, EveryCoreGivesTheOutputOfOne) {
    TempDir dir;
    std::string keys = "--keys=" + Samples + "/keys";
    std::vector<std::string> names;
    // Relative paths: an absolute one is a switch to the Windows program.
    for (const titlecraft::SampleFile& file : titlecraft::sampleFiles())
        dir.write(file.name, file.bytes);
    names = titlecraft::sampleNames();
    int n = 0;
    for (const evasion::Evasion& e : evasion::evasions()) {
        names.push_back("e" + std::to_string(n++) + ".wad");
        dir.write(names.back(), e.file);
    }
    names.insert(names.begin() + 12, "missing.wad");
    const std::vector<std::string> forms[] = {{"/n"}, {"/n", "/k"}, {"/j"}};
    for (const std::vector<std::string>& form : forms) {
        std::vector<std::string> args = form;
        args.insert(args.end(), {"/v", keys});
        std::vector<std::string> one = args;
        one.push_back("--jobs=1");
        one.insert(one.end(), names.begin(), names.end());
        ToolRun reference = runTool(one, dir.path);
        for (const char* jobs : {"--jobs=2", "--jobs=4", "--jobs=5", "--jobs=65536", "/v"}) {
            SCOPED_TRACE(form.back() + std::string(" ") + jobs);
            std::vector<std::string> many = args;
            many.push_back(jobs);
            many.insert(many.end(), names.begin(), names.end());
            ToolRun run = runTool(many, dir.path);
            EXPECT_EQ(run.exitCode, reference.exitCode);
            EXPECT_EQ(run.out, reference.out);
        }
        // Without /k the file that cannot be read ends the run; with it, the first failure counts.
        EXPECT_EQ(reference.exitCode, form.size() == 1 && form[0] == "/n" ? 11 : 15);
    }
    const struct {
        std::vector<std::string> args;
        std::string out;
    } errors[] = {
        {{"/n", "--jobs=2", "e0.wad"}, "\nError: --jobs=N needs /v!  ('/?' for help)\n\n"},
        {{"/n", "/v", "--jobs=0", "e0.wad"}, "\nError: --jobs=N needs a number from 1 up!  ('/?' for help)\n\n"},
        {{"/n", "/v", "--jobs=x", "e0.wad"}, "\nError: --jobs=N needs a number from 1 up!  ('/?' for help)\n\n"},
        {{"/n", "/v", "--jobs=", "e0.wad"}, "\nError: --jobs=N needs a number from 1 up!  ('/?' for help)\n\n"},
    };
    for (const auto& e : errors) {
        ToolRun run = runTool(e.args, dir.path);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, e.out);
    }
}

// A shell script run with the tool as $0, in `dir`; its output.
std::string runScript(const std::string& script, const std::string& dir) {
    return runProgram("/bin/bash", {"-c", script, TESSARLUMEN_EXE}, dir, {}, false).out;
}

// A FIFO or standard input is read only in its turn, alone: never before
// the run knows it goes on, never beside another. At each number of
// threads: a FIFO after a file that fails ends nothing late (a `timeout`
// would say 124); one whose writer comes late is waited for; one stream
// named twice gives what one thread gives, run after run.
TEST(Verify, StreamsAreReadInTheirTurn) {
    SKIP_UNDER_WINE("POSIX FIFOs and pipes");
    TempDir dir;
    dir.write("good.wad", evasion::genuine());
    dir.write("junk.bin", Bytes(1000, 0));
    ASSERT_EQ(mkfifo((dir.path + "/fifo").c_str(), 0600), 0);
    std::string one = runScript("cat good.wad good.wad | \"$0\" /j /v /k --keys=. --jobs=1 - -", dir.path);
    EXPECT_NE(one.find("\"verdict\""), std::string::npos);
    for (const char* jobs : {"--jobs=2", "--jobs=4", "/v"}) {
        SCOPED_TRACE(jobs);
        std::string v = std::string(" /n /v --keys=. ") + jobs;
        EXPECT_EQ(runScript("timeout 30 \"$0\"" + v + " junk.bin fifo >/dev/null; echo $?", dir.path), "14\n");
        EXPECT_EQ(runScript("timeout 30 \"$0\"" + v + " missing.wad fifo >/dev/null; echo $?", dir.path), "11\n");
        std::string late = runScript("{ sleep 2; cat good.wad >fifo; } & \"$0\"" + v + " good.wad fifo good.wad; wait",
                                     dir.path);
        std::size_t verdicts = 0;
        for (std::size_t at = late.find("Verdict: "); at != std::string::npos; at = late.find("Verdict: ", at + 1))
            ++verdicts;
        EXPECT_EQ(verdicts, 3u) << late;
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(runScript(std::string("cat good.wad good.wad | \"$0\" /j /v /k --keys=. ") + jobs + " - -", dir.path),
                      one);
    }
}

// Ctrl-C ends a run as an interrupt (130 in a shell) within moments,
// whatever is in flight: here a FIFO nobody writes. The reports already
// made are written first: each as it is made under /v, where a verdict
// costs far more than a write; the buffer at the end otherwise.
TEST(Verify, AnInterruptKeepsTheReportsMade) {
    SKIP_UNDER_WINE("POSIX signals");
    TempDir dir;
    dir.write("good.wad", evasion::genuine());
    ASSERT_EQ(mkfifo((dir.path + "/waiting").c_str(), 0600), 0);
    const std::vector<std::string> forms[] = {{"/n", "/v", "--jobs=2", "--keys=."}, {"/n", "/v", "--jobs=1", "--keys=."}, {"/n"}};
    for (const std::vector<std::string>& options : forms) {
        std::string words;
        for (const std::string& o : options)
            words += " " + o;
        SCOPED_TRACE(words);
        std::string out = runScript("set -m; \"$0\"" + words + " good.wad waiting good.wad >out & pid=$!; "
                                    "sleep 0.5; kill -INT $pid; wait $pid; echo \"ended $?\"; cat out", dir.path);
        std::vector<std::string> first = options;
        first.push_back("good.wad");
        std::string report = runTool(first, dir.path).out;
        EXPECT_EQ(out, "ended 130\n" + report.substr(0, report.size() - 1));  // without the run's last line break
    }
}

// A system-wide configuration cannot change a verdict, make the run wait,
// or load a module into the process: the library reads none.
TEST(Verify, SystemConfigurationIsNeverRead) {
    SKIP_UNDER_WINE("OpenSSL's configuration is for the Linux build");
    TempDir dir;
    auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    dir.write("fips.cnf", text("openssl_conf = init\n[init]\nalg_section = properties\n[properties]\n"
                               "default_properties = fips=yes\n"));
    dir.write("module.cnf", text("openssl_conf = init\n[init]\nproviders = providers\n[providers]\n"
                                 "probe = probe\n[probe]\nmodule = " CONFIG_PROBE_MODULE "\nactivate = 1\n"));
    ASSERT_EQ(mkfifo((dir.path + "/fifo.cnf").c_str(), 0600), 0);
    for (const char* conf : {"fips.cnf", "module.cnf", "fifo.cnf"}) {
        SCOPED_TRACE(conf);
        std::string script = std::string("OPENSSL_CONF=") + conf + " CONFIG_PROBE_MARK=loaded timeout 30 \"$0\" /n /v " +
                             SampleKeys + " " + Samples + "/signed.wad >out; echo $?; grep Verdict out; ls";
        std::string out = runScript(script, dir.path);
        EXPECT_EQ(out.substr(0, out.find("fifo.cnf")), "0\nVerdict: genuine\n");
        EXPECT_EQ(out.find("loaded"), std::string::npos) << "the configuration's module was loaded";
    }
}

// The library failing at any call ends the run with 2 and its reason: in
// the self-test before any file, or during a file, never as a finding.
TEST(Verify, LibraryFailuresEndTheRun) {
    SKIP_UNDER_WINE("failure injection is built into the Linux build's OS layer");
    TempDir dir;
    std::string keys = writeKeys(dir);
    dir.write("f.wad", evasion::genuine());
    ToolRun good = runTool({"/n", "/v", keys, "f.wad"}, dir.path);
    std::string report = dir.path + "/report";
    runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", "/v", keys, "f.wad", "f.wad"}, dir.path,
               {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    std::string counts = readFileBytes(report);
    long all = std::atol(counts.c_str() + counts.find("crypto=") + 7);
    const std::string clean = leftoversOfDoingNothing(dir.path, report);
    constexpr long SelfTestCalls = 8;  // SHA-1: 3, AES: 3, RSA: 2
    ASSERT_GT(all, 2 * SelfTestCalls);
    for (long n = 1; n <= all; ++n) {
        SCOPED_TRACE("crypto:" + std::to_string(n));
        ToolRun run = runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", "/v", keys, "f.wad", "f.wad"}, dir.path,
                                 {"TESSARLUMEN_FAULT=crypto:" + std::to_string(n), "TESSARLUMEN_FAULT_REPORT=" + report},
                                 false);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(firstLine(readFileBytes(report)), clean);
        std::string reason = " (a failure injected by the test)\n\n";
        if (n <= SelfTestCalls) {
            EXPECT_EQ(run.out.rfind("\nError: The cryptography library failed its self-test! (", 0), 0u) << run.out;
        } else {
            std::string message = "\nError: The cryptography library failed!" + reason;
            EXPECT_EQ(run.out.substr(run.out.size() - message.size()), message);
            // A first file whose calls all succeeded is reported as it is.
            std::size_t firstReport = good.out.size() - 1;
            if (run.out.size() > firstReport + message.size()) {
                EXPECT_EQ(run.out.substr(0, firstReport), good.out.substr(0, firstReport));
            }
        }
    }
    // Under /j the message goes to standard error.
    ToolRun json = runProgram(TESSARLUMEN_FAULTS_EXE, {"/j", "/v", keys, "f.wad"}, dir.path,
                              {"TESSARLUMEN_FAULT=crypto:" + std::to_string(SelfTestCalls + 1)}, false);
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_EQ(json.out, "");
    EXPECT_EQ(json.err, "Error: The cryptography library failed! (a failure injected by the test)\n");
}

// A library that cannot be loaded is named, with the loader's reason.
TEST(Verify, ALibraryThatCannotBeLoaded) {
    SKIP_UNDER_WINE("libcrypto is the Linux build's library");
    TempDir dir;
    dir.write("libcrypto.so.3", Bytes(7, 'x'));
    ToolRun run = runTool({"/n", "/v", Samples + "/signed.wad"}, dir.path, {"LD_LIBRARY_PATH=" + dir.path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "\nError: Cannot load the cryptography library! (" + dir.path +
                           "/libcrypto.so.3: file too short)\n\n");
    // Without /v it is never loaded.
    EXPECT_EQ(runTool({"/n", Samples + "/signed.wad"}, dir.path, {"LD_LIBRARY_PATH=" + dir.path}).exitCode, 0);
}

TEST(Verify, KeyFolderErrorsEndTheRunFirst) {
    TempDir dir;
    dir.write("f", evasion::genuine());
    std::filesystem::create_directory(dir.path + "/bad");
    dir.write("bad/korean.key", Bytes(15, 1));
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    } cases[] = {
        {{"/n", "/v", "--keys=none", "f"}, "\nError: Cannot read the key folder 'none' ! (No such file or directory)\n\n", ""},
        {{"/n", "/v", "--keys=bad", "f"},
         std::string("\nError: Unusable key file 'bad") + Slash + "korean.key' ! (16 bytes or 32 hexadecimal digits)\n\n",
         ""},
        {{"/j", "/v", "--keys=none", "f"}, "", "Error: Cannot read the key folder 'none' ! (No such file or directory)\n"},
        {{"/n", "--keys=bad", "f"}, "\nError: --keys=DIR needs /v!  ('/?' for help)\n\n", ""},
        {{"/j", "--keys=bad", "f"}, "", "Error: --keys=DIR needs /v!  ('/?' for help)\n"},
    };
    for (const auto& c : cases) {
        ToolRun run = runTool(c.args, dir.path);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

// A key must be a regular file: a FIFO ends the run at once, as a link
// that leads nowhere does. Paths of any length work.
TEST(Verify, KeyFilesAndLongPaths) {
    SKIP_UNDER_WINE("FIFOs, symbolic links and long paths are POSIX's here");
    TempDir dir;
    dir.write("f.wad", evasion::genuine());
    std::string keys = writeKeys(dir);
    std::filesystem::create_directory(dir.path + "/fifo");
    ASSERT_EQ(mkfifo((dir.path + "/fifo/standard.key").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path + "/dangling");
    ASSERT_EQ(symlink("nowhere", (dir.path + "/dangling/root.key").c_str()), 0);
    ToolRun fifo = runTool({"/n", "/v", "--keys=fifo", "f.wad"}, dir.path);
    EXPECT_EQ(fifo.exitCode, 2);
    EXPECT_EQ(fifo.out, "\nError: Cannot read the key file 'fifo/standard.key' ! (Not a regular file)\n\n");
    ToolRun dangling = runTool({"/n", "/v", "--keys=dangling", "f.wad"}, dir.path);
    EXPECT_EQ(dangling.exitCode, 2);
    EXPECT_EQ(dangling.out, "\nError: Cannot read the key file 'dangling/root.key' ! (No such file or directory)\n\n");
    // A folder 1,229 bytes deep, named by --keys and as the default folder.
    std::string deep = "keys";
    while (deep.size() < 1229)
        deep += "/" + std::string(200, 'k');
    std::filesystem::create_directories(dir.path + "/" + deep);
    std::filesystem::create_directories(dir.path + "/home/.config");
    for (const char* name : {"standard.key", "korean.key", "root.key"})
        std::filesystem::copy_file(dir.path + "/keys/" + name, dir.path + "/" + deep + "/" + name);
    EXPECT_EQ(runTool({"/n", "/v", "--keys=" + deep, "f.wad"}, dir.path).exitCode, 0);
    std::filesystem::rename(dir.path + "/" + deep, dir.path + "/home/.config/tessarlumen");
    std::string home = dir.path + "/home";
    std::string longHome = home + std::string(1100, '/');
    EXPECT_EQ(runTool({"/n", "/v", "f.wad"}, dir.path, {"HOME=" + longHome, "XDG_CONFIG_HOME="}).exitCode, 0);
}

}  // namespace
