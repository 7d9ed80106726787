// Huge files given as firmware: a 50 MB file and a file of one 10 MB line are refused with a
// clear error, and reading them takes no more memory than reading a small file. The peak
// resident size of "ondo-flash check" is measured for each and printed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifndef ONDO_FLASH_PATH
#error "ONDO_FLASH_PATH must name the ondo-flash executable"
#endif

namespace ondo::testing {
namespace {

// Reading a refused file may cost a few buffers, never the file.
constexpr long kAllowedGrowthKb = 8 * 1024;
constexpr std::size_t kMegabyte = 1024 * 1024;

struct Check {
    int exitCode = -1;
    long peakKb = 0;  // peak resident set of the child
    std::string errors;
};

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs "ondo-flash check FILE" and takes its exit status, standard error and peak memory.
Check check(const std::string& file, const std::string& errorsPath) {
    Check result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_WRONLY);
        if (err < 0 || null < 0) ::_exit(126);
        ::dup2(err, STDERR_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::execl(ONDO_FLASH_PATH, ONDO_FLASH_PATH, "check", file.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakKb = usage.ru_maxrss;
    }
    result.errors = readText(errorsPath);
    return result;
}

class HugeFirmwareFile : public ::testing::Test {
  protected:
    HugeFirmwareFile() {
        folder =
            std::filesystem::temp_directory_path() / ("ondo-abuse-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        const std::string small = path("small.HXF");
        std::ofstream(small, std::ios::binary) << "C:0100000055AA\r\nE:01001000A54A\r\n";
        baseline = check(small, path("small.err"));
        EXPECT_EQ(baseline.exitCode, 0) << baseline.errors;
    }
    ~HugeFirmwareFile() override { std::filesystem::remove_all(folder); }

    std::string path(const char* name) const { return (folder / name).string(); }

    void expectRefusedInBoundedMemory(const char* what, const std::string& file) {
        const Check huge = check(file, file + ".err");
        std::printf("[ figures  ] %s: peak RSS %ld kB (small file: %ld kB)\n", what, huge.peakKb,
                    baseline.peakKb);
        EXPECT_EQ(huge.exitCode, 3);
        EXPECT_NE(huge.errors.find("Flash file too large (over 1048576 bytes)"), std::string::npos)
            << huge.errors;
        EXPECT_LT(huge.peakKb, baseline.peakKb + kAllowedGrowthKb);
    }

    std::filesystem::path folder;
    Check baseline;
};

TEST_F(HugeFirmwareFile, FiftyMegabytesOfRecordsAreRefused) {
    const std::string file = path("50MB.HXF");
    {
        std::ofstream out(file, std::ios::binary);
        const std::string line = "C:10000000000102030405060708090A0B0C0D0E0F78\r\n";
        for (std::size_t written = 0; written < 50 * kMegabyte; written += line.size()) out << line;
    }
    expectRefusedInBoundedMemory("50 MB file", file);
}

TEST_F(HugeFirmwareFile, OneTenMegabyteLineIsRefused) {
    const std::string file = path("10MB-line.HXF");
    {
        std::ofstream out(file, std::ios::binary);
        out << "C:";
        const std::string digits(kMegabyte, 'A');
        for (int i = 0; i < 10; ++i) out << digits;
    }
    expectRefusedInBoundedMemory("one 10 MB line", file);
}

TEST_F(HugeFirmwareFile, LineOfAlmostTheWholeAllowedSizeEndsWithALineError) {
    // Under the size cap the reader cuts the line, reports it and stays within its buffers.
    const std::string file = path("1MB-line.HXF");
    std::ofstream(file, std::ios::binary) << "C:" << std::string(kMegabyte - 100, 'A') << "\r\n";
    const Check result = check(file, file + ".err");
    std::printf("[ figures  ] one 1 MB line: peak RSS %ld kB\n", result.peakKb);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.errors.find("@ line 1"), std::string::npos) << result.errors;
    EXPECT_LT(result.peakKb, baseline.peakKb + kAllowedGrowthKb);
}

}  // namespace
}  // namespace ondo::testing
