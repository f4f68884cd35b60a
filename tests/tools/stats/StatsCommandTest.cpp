// The command on a rotated log: its text, its exit status and its HTML page,
// which headless Chromium opens from the file and photographs; the chart
// colours must be on the picture, which is kept for a person to look at.
#include "tests/tools/stats/KnownLog.h"
#include "tools/stats/SvgCharts.h"

#include <gtest/gtest.h>
#include <png.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

struct RunResult {
    bool ended = false;  // false: did not end in time, and was killed
    int status = -1;
};

// Runs argv with stdout and stderr to outputPath; waits up to seconds, then
// kills what it started and reaps it. The process leads a group of its own,
// so the helpers a browser starts end with it: the group is named by the id
// of the process started here, and holds only processes it started.
RunResult RunProcess(const std::vector<std::string>& argv, const std::string& outputPath, int seconds) {
    RunResult result;
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        setpgid(0, 0);
        int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            close(out);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);  // also here, so the group exists before any kill below
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.ended = true;
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return result;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool HasText(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

bool ReadPng(const std::string& path, Picture& picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) return false;
    return true;
}

// Pixels within a small distance of colour "#rrggbb" inside rows [top, bottom).
unsigned CountColour(const Picture& p, const char* colour, unsigned top, unsigned bottom) {
    unsigned r = 0, g = 0, b = 0;
    std::sscanf(colour, "#%02x%02x%02x", &r, &g, &b);
    unsigned count = 0;
    for (unsigned y = top; y < bottom && y < p.height; ++y) {
        for (unsigned x = 0; x < p.width; ++x) {
            const unsigned char* px = &p.rgba[(static_cast<size_t>(y) * p.width + x) * 4];
            if (std::abs(px[0] - static_cast<int>(r)) <= 6 && std::abs(px[1] - static_cast<int>(g)) <= 6 &&
                std::abs(px[2] - static_cast<int>(b)) <= 6)
                ++count;
        }
    }
    return count;
}

class StatsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = MakeKnownLog();
        logs_ = WriteRotatedLogs(log_, folder_.Path());
        // A portal folder with the names as a Chinese portal stores them.
        std::filesystem::create_directories(folder_.Path() + "/portal/tool/down");
        std::ofstream(folder_.Path() + "/portal/tool/down/7223.html", std::ios::binary)
            << "[GameConfig]\r\nGameName=\xD0\xC7\xB3\xBD\xD4\xB6\xD5\xF7\r\nGameSize=1\r\n";  // 星辰远征 in GBK
        std::ofstream(folder_.Path() + "/portal/tool/down/7224.html", std::ios::binary)
            << std::string("\xFF\xFE[\0G\0a\0m\0e\0C\0o\0n\0f\0i\0g\0]\0\r\0\n\0G\0a\0m\0e\0N\0a\0m\0e\0=\0\x08\x67\x71\x5F\r\0\n\0",
                           54);  // 月影 in UTF-16LE
    }

    std::string Folder() const { return folder_.Path(); }

    TempFolder folder_;
    KnownLog log_;
    std::vector<std::string> logs_;
};

TEST_F(StatsCommand, PrintsEveryGameAndItsFunnelAndWritesThePage) {
    const std::string html = Folder() + "/stats.html", output = Folder() + "/out.txt";
    std::vector<std::string> argv = {VORLA_STATS_EXE, "--html", html, "--portal", Folder() + "/portal"};
    argv.insert(argv.end(), {logs_[1], logs_[3], logs_[0], logs_[2]});
    RunResult run = RunProcess(argv, output, 60);
    const std::string text = ReadWholeFile(output);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, 0) << text;
    EXPECT_TRUE(HasText(text, "game 7223 星辰远征")) << text;
    EXPECT_TRUE(HasText(text, "game 7224 月影")) << text;
    EXPECT_TRUE(HasText(text, "game 8001\n")) << text;
    EXPECT_TRUE(HasText(text, std::to_string(log_.malformed) + " malformed (skipped)")) << text;
    const GameFunnel& f = log_.funnels.at("7223");
    char line[160];
    std::snprintf(line, sizeof line, "    opened the downloader   %7llu", static_cast<unsigned long long>(f.opened));
    EXPECT_TRUE(HasText(text, line)) << text;
    std::snprintf(line, sizeof line, "    got the game (sound)    %7llu", static_cast<unsigned long long>(f.sound));
    EXPECT_TRUE(HasText(text, line)) << text;
    for (const char* day : {"2026-12-07", "2026-12-08", "2026-12-09", "total"}) EXPECT_TRUE(HasText(text, day));

    const std::string page = ReadWholeFile(html);
    EXPECT_TRUE(HasText(page, "<svg class=\"funnel\""));
    EXPECT_TRUE(HasText(page, "<svg class=\"daily\""));
    EXPECT_TRUE(HasText(page, "星辰远征"));
    // Self-contained: nothing fetched from elsewhere.
    EXPECT_FALSE(HasText(page, "<script"));
    EXPECT_FALSE(HasText(page, "http://") && !HasText(page, "xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_FALSE(HasText(page, "https://"));
    EXPECT_FALSE(HasText(page, "@import"));
    EXPECT_FALSE(HasText(page, "url("));
    EXPECT_FALSE(HasText(page, "<link"));
}

TEST_F(StatsCommand, UnreadableLogIsReportedAndTheOthersStillCount) {
    const std::string output = Folder() + "/out.txt";
    for (const std::string& unreadable : {Folder() + "/no-such.log", Folder() + "/portal"}) {
        RunResult run = RunProcess({VORLA_STATS_EXE, unreadable, logs_[0]}, output, 60);
        const std::string text = ReadWholeFile(output);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.status, 1) << unreadable;
        EXPECT_TRUE(HasText(text, "cannot read " + unreadable)) << text;
        EXPECT_TRUE(HasText(text, "game 7223")) << text;
    }
}

TEST_F(StatsCommand, WithoutLogsItShowsItsUsage) {
    const std::string output = Folder() + "/out.txt";
    RunResult run = RunProcess({VORLA_STATS_EXE}, output, 60);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(HasText(ReadWholeFile(output), "usage: vorla-stats"));
}

std::string FindChromium() {
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (access(path, X_OK) == 0) return path;
    }
    return std::string();
}

TEST_F(StatsCommand, PageShowsItsChartsInABrowser) {
    const std::string chromium = FindChromium();
    ASSERT_FALSE(chromium.empty()) << "no chromium: scripts/install-deps.sh installs it";
    const std::string html = Folder() + "/stats.html";
    std::vector<std::string> argv = {VORLA_STATS_EXE, "--html", html, "--portal", Folder() + "/portal"};
    argv.insert(argv.end(), logs_.begin(), logs_.end());
    ASSERT_EQ(RunProcess(argv, Folder() + "/out.txt", 60).status, 0);

    std::filesystem::create_directories(VORLA_SCREENSHOT_DIR);
    const std::string shot = std::string(VORLA_SCREENSHOT_DIR) + "/stats-report.png";
    std::filesystem::remove(shot);
    // A fresh profile; nothing resolves but the file itself.
    // Without the zygote and the crash handler, every helper is the browser's
    // own child, reaped by it, rather than left to the system.
    RunResult run = RunProcess({chromium, "--headless", "--no-sandbox", "--no-zygote", "--disable-crash-reporter",
                                "--disable-breakpad", "--disable-gpu", "--no-first-run",
                         "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
                         "--disable-sync", "--disable-extensions", "--hide-scrollbars",
                         "--host-resolver-rules=MAP * ~NOTFOUND", "--user-data-dir=" + Folder() + "/profile",
                         "--window-size=1000,2000", "--screenshot=" + shot, "file://" + html},
                        Folder() + "/chromium.txt", 120);
    ASSERT_TRUE(run.ended) << ReadWholeFile(Folder() + "/chromium.txt");
    Picture picture;
    ASSERT_TRUE(ReadPng(shot, picture)) << ReadWholeFile(Folder() + "/chromium.txt");
    EXPECT_EQ(picture.width, 1000u);
    EXPECT_EQ(picture.height, 2000u);
    // The first game's card: its funnel and its days fill the top of the
    // page in the chart colours.
    const unsigned top = 0, bottom = picture.height;
    for (const char* colour : {chart_colour::kLoaded, chart_colour::kStarted, chart_colour::kFinished,
                               chart_colour::kFailed, chart_colour::kSound}) {
        SCOPED_TRACE(colour);
        EXPECT_GT(CountColour(picture, colour, top, bottom), 500u);
    }
    std::printf("screenshot: %s\n", shot.c_str());
}

}  // namespace
