// The converter's promises about the files around it and the process it runs in:
// no output over an input, links and owners kept, no hang on a pipe, signals and
// thread shortages ending with an outcome code, and no unchecked standard output.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/converter.h"
#include "raster/thinning.h"
#include "raster/thread_start.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "tests/cli/converter_fixture.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

const std::string kProgram = std::string(VP_BINARY_DIR) + "/cli/vpconvert";

struct Child {
  int status = -1;  // exit status, or minus the signal that ended it
  std::string err;
};

// Runs the real converter with stdout to `out_path`; `while_running` is called
// with the child's pid until it returns false or the child ends. A child still
// running after a minute is killed (a hang is a failure, not a stuck test).
Child run_child(const std::vector<std::string>& argv, const std::string& out_path, const fs::path& err_path,
                const std::function<bool(pid_t)>& while_running = {}, rlim_t address_space = RLIM_INFINITY) {
  std::vector<char*> args{const_cast<char*>(kProgram.c_str())};
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (address_space != RLIM_INFINITY) {
      rlimit cap{address_space, address_space};
      setrlimit(RLIMIT_AS, &cap);
    }
    if (out_path.empty()) {
      close(STDOUT_FILENO);
    } else if (std::freopen(out_path.c_str(), "w", stdout) == nullptr) {
      _exit(126);
    }
    if (std::freopen(err_path.c_str(), "w", stderr) == nullptr) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  int status = 0;
  bool watching = static_cast<bool>(while_running);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) kill(pid, SIGKILL);
    if (watching) watching = while_running(pid);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::ifstream in(err_path, std::ios::binary);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status),
          {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
}

class RunSafety : public ConverterFixture {
 protected:
  void SetUp() override {
    ConverterFixture::SetUp();
    InkImage image(12, 6);
    for (std::int32_t c = 2; c < 10; ++c) image.set(c, 2);
    write_bmp_file(path("drawing.bmp"), image, {});
  }
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder_))
      if (entry.path().filename().string().rfind(".velorin-", 0) == 0) found.push_back(entry.path().string());
    return found;
  }
};

TEST_F(RunSafety, AnOutputThatNamesAnInputOrAnotherOutputIsAUsageError) {
  fs::copy_file(path("drawing.bmp"), path("drawing.txt"));  // a bitmap by content, whatever its name
  fs::create_symlink("drawing.txt", path("link.txt"));
  fs::create_hard_link(path("drawing.txt"), path("hard.txt"));
  std::ofstream(path("head.dxf")) << "  0\r\nSECTION\r\n";
  fs::create_directories(path("out"));
  fs::copy_file(path("drawing.bmp"), path("out/drawing.txt"));
  const std::string input = path("drawing.txt");
  struct Case {
    std::vector<std::string> args;
    std::string named;  // both roles, as the message names them
  };
  const std::vector<Case> cases = {
      {{input, "-o", input}, "the input and -o"},
      {{input, "-o", path("link.txt")}, "the input and -o"},
      {{input, "-o", path("hard.txt")}, "the input and -o"},
      {{input, "-o", path("x.txt"), "--thinned", path("./drawing.txt")}, "the input and --thinned"},
      {{input, "-o", path("x.dxf"), "--thinned", path("x.dxf")}, "-o and --thinned"},
      {{input, "-o", path("head.dxf"), "--dxf-header", path("head.dxf")}, "--dxf-header and -o"},
      {{path("out/drawing.txt"), "--to", "txt", "--out-dir", path("out")},
       "the input " + path("out/drawing.txt") + " and the output of " + path("out/drawing.txt")},
      {{path("drawing.bmp"), "--to", "dxf", "--out-dir", folder_.string(), "--dxf-header", path("drawing.dxf")},
       "--dxf-header and the output of"},
  };
  std::ofstream(path("drawing.dxf")) << "  0\r\nSECTION\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    const std::string before = read(input), header = read(path("head.dxf"));
    EXPECT_EQ(run(c.args), kExitUsage);
    EXPECT_NE(err_.str().find(c.named), std::string::npos) << err_.str();
    EXPECT_EQ(read(input), before);
    EXPECT_EQ(read(path("head.dxf")), header);
    EXPECT_FALSE(fs::exists(path("x.txt")));
    EXPECT_FALSE(fs::exists(path("x.dxf")));
  }
}

TEST_F(RunSafety, ReplacingKeepsLinksOwnersAndModes) {
  // A dangling link is written through: its target is made, the link stays.
  fs::create_directories(path("real"));
  fs::create_symlink("real/made.txt", path("dangling.txt"));
  ASSERT_EQ(run({path("drawing.bmp"), "-o", path("dangling.txt"), "--quiet"}), kExitWritten) << err_.str();
  EXPECT_TRUE(fs::is_symlink(path("dangling.txt")));
  EXPECT_EQ(read(path("real/made.txt")), "3.0000 4.0000 10.0000 4.0000\r\n");

  // A loop of links is refused with a message; nothing is made.
  fs::create_symlink("loop-b.txt", path("loop-a.txt"));
  fs::create_symlink("loop-a.txt", path("loop-b.txt"));
  EXPECT_EQ(run({path("drawing.bmp"), "-o", path("loop-a.txt")}), kExitNotWritten);
  EXPECT_NE(err_.str().find("不正なファイル名です"), std::string::npos) << err_.str();
  EXPECT_TRUE(fs::is_symlink(path("loop-a.txt")));

  // A hard-linked target is replaced: its other name keeps the old bytes.
  std::ofstream(path("old.txt")) << "old\r\n";
  fs::create_hard_link(path("old.txt"), path("other-name.txt"));
  ASSERT_EQ(run({path("drawing.bmp"), "-o", path("old.txt"), "--quiet"}), kExitWritten);
  EXPECT_EQ(read(path("other-name.txt")), "old\r\n");

  // Owner, group and mode survive the replacement (giving a file away needs root).
  std::ofstream(path("owned.txt")) << "x";
  ASSERT_EQ(chmod(path("owned.txt").c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path("owned.txt").c_str(), 1234, 5678), 0);
  }
  ASSERT_EQ(run({path("drawing.bmp"), "-o", path("owned.txt"), "--quiet"}), kExitWritten);
  struct stat st {};
  ASSERT_EQ(stat(path("owned.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

// Pipes and devices are not images: refused at once, never waited on.
TEST_F(RunSafety, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(path("pipe.bmp").c_str(), 0600), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{path("pipe.bmp"), "-o", path("x.txt")},
                                               {"/dev/zero", "-o", path("x.txt")},
                                               {"--info", path("pipe.bmp")},
                                               {"--suggest-passes", path("pipe.bmp")},
                                               {folder_.string(), "-o", path("x.txt")}}) {
    SCOPED_TRACE(args.front() + " " + args[1]);
    const Child child = run_child(args, path("out"), path("err"));
    EXPECT_EQ(child.status, kExitUnreadable);
    EXPECT_NE(child.err.find("画像ファイルを読込めませんでした。"), std::string::npos) << child.err;
    EXPECT_FALSE(fs::exists(path("x.txt")));
  }
}

// An output that cannot be written is said before the image is read: a broken
// image is not even looked at, and nothing is left behind.
TEST_F(RunSafety, UnwritableOutputsAreToldBeforeTheImageIsRead) {
  std::ofstream(path("broken.bmp")) << "not a bitmap";
  fs::create_directories(path("folder"));
  const std::string missing = path("missing") + "/out.txt";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-o", missing}, missing},
      {{"-o", path("out.txt"), "--ink", path("folder")}, path("folder")},
      {{"-o", path("out.txt"), "--thinned", path("missing") + "/t.pbm"}, path("missing") + "/t.pbm"},
  };
  for (const auto& [outputs, named] : cases) {
    std::vector<std::string> args = {path("broken.bmp")};
    args.insert(args.end(), outputs.begin(), outputs.end());
    EXPECT_EQ(run(args), kExitNotWritten) << named;
    EXPECT_NE(err_.str().find(": " + named + "\n"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("保存できませんでした。"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(path("out.txt")));
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
  }
}

// Ctrl-C, SIGTERM or SIGHUP while the output is being written: exit 1 with the
// abort message, no output and no temporary file.
TEST_F(RunSafety, ASignalWhileSavingCallsTheRunOff) {
  // About 20 MB of coordinate text: long enough a save to be caught at it.
  write_bmp_file(path("dense.bmp"), random_image(1200, 1200, 7, 0.5), {});
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    bool signalled = false;
    const Child child =
        run_child({path("dense.bmp"), "-o", path("dense.txt")}, path("out"), path("err"), [&](pid_t pid) {
          if (temporaries().empty()) return true;  // not saving yet
          kill(pid, signal_number);
          signalled = true;
          return false;
        });
    ASSERT_TRUE(signalled) << "the save was never seen";
    EXPECT_EQ(child.status, kExitNotWritten);
    EXPECT_NE(child.err.find("途中でキャンセルされました。"), std::string::npos) << child.err;
    EXPECT_FALSE(fs::exists(path("dense.txt")));
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
  }
}

// Standard output on a full device or closed: the run fails and says why.
TEST_F(RunSafety, UnwritableStandardOutputIsAFailure) {
  for (const std::string& out : {std::string("/dev/full"), std::string()}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"--info", path("drawing.bmp")},
                                                 {"--suggest-passes", path("drawing.bmp")},
                                                 {path("drawing.bmp"), "-o", path("y.txt")}}) {
      SCOPED_TRACE((out.empty() ? "closed: " : out + ": ") + args.front());
      const Child child = run_child(args, out, path("err"));
      EXPECT_EQ(child.status, kExitNotWritten);
      EXPECT_NE(child.err.find("standard output could not be written"), std::string::npos) << child.err;
    }
  }
}

// Under an address-space limit far more jobs than fit: every file is still
// written, as with two jobs; the batch runs as many as the memory allows.
TEST_F(RunSafety, ManyJobsUnderAMemoryLimitWriteWhatTwoJobsWrite) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit allows";
#else
  write_bmp_file(path("a4.bmp"), generate_drawing(1240, 1754, 5), {});
  std::vector<std::string> args;
  for (int i = 0; i < 64; ++i) {
    args.push_back(path("in" + std::to_string(i) + ".bmp"));
    fs::create_hard_link(path("a4.bmp"), args.back());
  }
  args.insert(args.end(), {"--to", "dxf", "--out-dir", path("out"), "--jobs", "256", "--quiet"});
  const Child child = run_child(args, path("stdout"), path("err"), {}, rlim_t{1} << 30);
  EXPECT_EQ(child.status, 0) << child.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(path("out")), fs::directory_iterator()), 64);
#endif
}

// No thread to be had: the batch and the thinning go on with this one, and say so once.
TEST_F(RunSafety, WithoutThreadsTheWorkGoesOnWithOne) {
  std::vector<std::string> args;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
    write_bmp_file(path(name), generate_drawing(600, 600, 3), {});
    args.push_back(path(name));
  }
  for (const char* a : {"--to", "txt", "--out-dir", "out", "--jobs", "8"}) args.push_back(a);
  args[args.size() - 3] = path("out");
  refuse_threads_for_testing(true);
  const int status = run(args);
  refuse_threads_for_testing(false);
  EXPECT_EQ(status, kExitWritten) << err_.str();
  EXPECT_NE(out_.str().find("3 written"), std::string::npos) << out_.str();
  const std::string said = err_.str();
  const auto first = said.find("fewer");
  EXPECT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find("fewer", first + 1), std::string::npos) << said;
  // The same lines as with threads: the thinning's bands done one after the other.
  std::vector<std::string> threaded = args;
  threaded[threaded.size() - 3] = path("threaded");
  ASSERT_EQ(run(threaded), kExitWritten);
  EXPECT_EQ(err_.str().find("fewer"), std::string::npos) << err_.str();
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_FALSE(read(path("out/") + name).empty()) << name;
    EXPECT_EQ(read(path("out/") + name), read(path("threaded/") + name)) << name;
  }
#if !defined(__SANITIZE_ADDRESS__)
  // The real shortage: 256 stacks do not fit in 1 GiB of address space.
  args.back() = "256";
  const Child child = run_child(args, path("out.log"), path("err"), {}, rlim_t{1} << 30);
  EXPECT_EQ(child.status, kExitWritten) << child.err;
#endif
  EXPECT_EQ(temporaries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vp::cli
