// What a real program refuses to trust: an image another user could reach, a trace file
// that is a link or no file at all, a parameters file that is not a file, and the
// current folder of whoever starts it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/executive/image_layout.h"
#include "tests/support/program_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::ImageView;
using qvtest::ProgramRun;

const std::string kProgram = "test_model_r" + std::to_string(QV_REVISION);
constexpr int32_t kSignature = 123456789;  // the test model's
const std::string kSignatureLine =
    QV_REVISION == 1 ? std::to_string(static_cast<uint32_t>(kSignature)) + "d" : std::to_string(kSignature);

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Runs a command to its end; its exit status, or -1.
int runCommand(const std::vector<std::string>& argv) {
    auto child = qv::platform::startProcess(argv, {});
    if (!child) return -1;
    return qv::platform::waitProcess(*child, 10000).value_or(-1);
}

// The effective user of this test, as the system tells it.
long effectiveUser() {
    std::istringstream status(qvtest::readFile("/proc/self/status"));
    std::string word;
    long real = -1, effective = -1;
    while (status >> word)
        if (word == "Uid:" && status >> real >> effective) return effective;
    return -1;
}

std::string shmPath(const std::string& name) { return "/dev/shm/" + name; }

std::string modeText(fs::perms perms) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(perms));
    return text;
}

// Starts the program on an image somebody else laid down and expects it to leave at once
// with the one line `refusal` and status -1, the object as it was found.
void expectRefused(ProgramRun& run, const std::string& refusal) {
    const std::string path = shmPath(run.imageName());
    const std::string bytes = fs::is_symlink(path) ? std::string() : qvtest::readFile(path);
    const fs::perms mode = fs::symlink_status(path).permissions();
    ASSERT_TRUE(run.start());
    EXPECT_EQ(run.wait(), 255);
    EXPECT_EQ(run.console(), refusal + "\n");
    if (!fs::is_symlink(path)) {
        EXPECT_TRUE(qvtest::readFile(path) == bytes) << "the refused image was written";
        EXPECT_EQ(fs::status(path).permissions(), mode);
    }
}

// ---- Who may open an image ---------------------------------------------------------------

TEST(Security, AnImageThatAnotherUserCouldReachIsRefusedUntouched) {
    const std::string user = std::to_string(effectiveUser());
    struct Case {
        const char* what;
        std::size_t size;
        fs::perms mode;
    };
    const Case cases[] = {
        {"laid down empty, open to all (a squatter's)", 0, fs::perms(0666)},
        {"with content, open to all", 30000, fs::perms(0666)},
        {"readable by the group", 30000, fs::perms(0640)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun run(kProgram, "squat");
        std::string content(c.size, '\0');
        for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
        qvtest::writeFile(shmPath(run.imageName()), content);
        fs::permissions(shmPath(run.imageName()), c.mode);
        expectRefused(run, "image \"" + run.imageName() + "\" belongs to user " + user + " with mode " +
                               modeText(c.mode) + "; it is not used");
        EXPECT_EQ(fs::file_size(shmPath(run.imageName())), c.size);
    }

    // A link under the name is not followed, to a file or to nothing.
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "a dangling link" : "a link to a file");
        ProgramRun run(kProgram, "squatlink");
        const std::string target = run.folder() + "/target";
        if (!dangling) qvtest::writeFile(target, "precious\n");
        fs::create_symlink(target, shmPath(run.imageName()));
        expectRefused(run, "image \"" + run.imageName() + "\" is a symbolic link belonging to user " + user +
                               "; it is not followed");
        EXPECT_EQ(fs::exists(target), !dangling);
        if (!dangling) {
            EXPECT_EQ(qvtest::readFile(target), "precious\n");
        }
    }
}

TEST(Security, AnImageOfAnotherUserIsRefusedUntouched) {
    if (effectiveUser() != 0) GTEST_SKIP() << "needs root to lay down an image as user 65534";
    if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "needs setpriv to lay down an image as user 65534";
    ProgramRun run(kProgram, "otheruser");
    // Private to its owner, as a careful user makes it: still not this user's.
    ASSERT_EQ(runCommand({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh", "-c",
                          "umask 077 && head -c 30000 /dev/urandom > " + shmPath(run.imageName())}),
              0);
    ASSERT_EQ(fs::file_size(shmPath(run.imageName())), 30000u);
    expectRefused(run, "image \"" + run.imageName() + "\" belongs to user 65534 with mode 0600; it is not used");
}

// ---- Files the program writes and reads ----------------------------------------------------

TEST(Security, ATraceFileThatIsNoRegularFileIsLeftAloneAndTheProgramRunsOn) {
    struct Case {
        const char* what;
        bool named;  // through QV_TRACE_FILE, else beside the program
        bool fifo;   // a FIFO, else a link to a file of the user's
    };
    const Case cases[] = {
        {"a link beside the program", false, false},
        {"a link named by QV_TRACE_FILE", true, false},
        {"a FIFO named by QV_TRACE_FILE (nobody reads it)", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun run(kProgram, "tracelink");
        const std::string path = c.named ? run.folder() + "/named.trc" : run.traceFile();
        const std::string target = run.folder() + "/precious.txt";
        qvtest::writeFile(target, "the user's own file\n");
        if (c.fifo)
            ASSERT_EQ(runCommand({"/usr/bin/mkfifo", path}), 0);
        else
            fs::create_symlink(target, path);
        ASSERT_TRUE(run.start(c.named ? std::vector<std::string>{"QV_TRACE_FILE=" + path} : std::vector<std::string>{}));
        ASSERT_TRUE(run.waitUntilStopped());
        ImageView& image = run.image();
        __atomic_fetch_or(image.boolSlot(qv::kTraceonSlot), qv::kBoolCurrent, __ATOMIC_RELAXED);
        ASSERT_TRUE(run.runCycles(3));
        EXPECT_EQ(run.end(), 0);
        EXPECT_EQ(qvtest::readFile(target), "the user's own file\n");
        EXPECT_EQ(c.fifo ? fs::is_fifo(path) : fs::is_symlink(path), true);
        EXPECT_EQ(occurrences(run.console(), "unable to write trace file " + path + ", tracing stopped\n"), 1u)
            << run.console();
        EXPECT_EQ(occurrences(run.console(), "trace file"), 1u) << run.console();
    }
}

TEST(Security, AParametersFileThatIsNoRegularFileIsUnreadableAndStartUpGoesOn) {
    struct Case {
        const char* what;
        std::vector<std::string> make;  // the command that lays it down ("PATH" stands for it)
    };
    const Case cases[] = {
        {"a FIFO nobody writes", {"/usr/bin/mkfifo", "PATH"}},
        {"a link to /dev/zero", {"/bin/ln", "-s", "/dev/zero", "PATH"}},
        {"a folder", {"/bin/mkdir", "PATH"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun run(kProgram, "paramfifo");
        std::vector<std::string> make = c.make;
        make.back() = run.paramsFile();
        ASSERT_EQ(runCommand(make), 0);
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped()) << run.console();
        EXPECT_EQ(occurrences(run.console(), "can't open file " + run.paramsFile() + "\n"), 1u) << run.console();
        EXPECT_EQ(run.end(), 0);
    }
}

// A program found through PATH takes its files from beside its executable, never from the
// folder it was started in.
TEST(Security, AProgramStartedThroughPathIgnoresTheFilesOfTheCurrentFolder) {
    ProgramRun run(kProgram, "pathstart");
    const std::string elsewhere = run.folder() + "/elsewhere";
    fs::create_directories(elsewhere);
    qvtest::writeFile(run.paramsFile(), kSignatureLine + "\nF 10 30000 simuperiod\n");
    qvtest::writeFile(elsewhere + "/" + kProgram + "_params.txt", kSignatureLine + "\nF 10 20000 simuperiod\nB 5 3 Start\n");

    // A shell finds the program through PATH, from the other folder.
    const std::string console = run.folder() + "/console.txt";
    auto child = qv::platform::startProcess(
        {"/bin/sh", "-c", "cd \"$0\" && exec " + kProgram, elsewhere},
        {"PATH=" + run.folder() + ":/usr/bin:/bin", "QV_MEMORY_NAME=" + run.imageName(), "QV_MEMORY_SIZE", "QV_TIMEOUT=20"},
        console);
    ASSERT_TRUE(child);
    std::optional<ImageView> image;
    const bool stopped = qvtest::waitUntil([&] {
        if (!image) image = ImageView::attach(run.imageName());
        return image && ImageView::read(image->pospid()) == child->pid &&
               ImageView::read(image->execstatus()) == qv::kStatusStop && ImageView::read(image->signature()) != 0;
    });
    if (!stopped) qv::platform::killProcess(child->pid);
    ASSERT_TRUE(stopped) << qvtest::readFile(console);

    EXPECT_EQ(ImageView::read(image->simuperiod()), 30000.0f);  // beside the executable: applied
    EXPECT_EQ(*image->boolSlot(5) & 1, 0);                       // the current folder's: not
    ImageView::write(image->execstatus(), qv::kStatusEnd);
    EXPECT_EQ(qv::platform::waitProcess(*child, 10000), 0);
    EXPECT_EQ(qvtest::readFile(console).find("can't open file"), std::string::npos) << qvtest::readFile(console);
    EXPECT_TRUE(fs::exists(run.traceFile()));
    EXPECT_FALSE(fs::exists(elsewhere + "/" + kProgram + ".trc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
}

}  // namespace
