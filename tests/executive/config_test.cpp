// Start-up configuration: the file names beside the program and the parameters file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"
#include "tests/support/program_run.h"
#include "tests/support/test_image.h"

namespace {

using namespace qv;

TEST(FileNames, AThreeLetterExtensionIsReplaced) {
    EXPECT_EQ(deriveTraceName("C:\\models\\cell.exe"), "C:\\models\\cell.trc");
    EXPECT_EQ(deriveParamFileName("C:\\models\\cell.exe"), "C:\\models\\cell_params.txt");
    EXPECT_EQ(deriveTraceName("/opt/sim/bistable_cylinder"), "/opt/sim/bistable_cylinder.trc");
    EXPECT_EQ(deriveParamFileName("sim"), "sim_params.txt");
    EXPECT_EQ(deriveTraceName("sim"), "sim.trc");
    EXPECT_EQ(deriveTraceName("a.b"), "a.b.trc");  // fewer than four characters
}

TEST(FileNames, ADotInAFolderNameIsNoExtension) {
    EXPECT_EQ(deriveTraceName("../x"), "../x.trc");
    EXPECT_EQ(deriveParamFileName("v1.2/sim"), "v1.2/sim_params.txt");
}

TEST(FileNames, LongPathsAreNeitherCutNorRefused) {
    const std::string path = "/" + std::string(700, 'd') + "/program.bin";
    EXPECT_EQ(deriveTraceName(path), path.substr(0, path.size() - 3) + "trc");
}

class ParametersFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(image_.ok());
        dir_ = platform::temporaryDirectory() + "/" + image_.name();
        std::filesystem::create_directories(dir_);
        path_ = dir_ + "/model_params.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Applies a file and returns what was printed on standard error.
    std::string apply(const std::string& text) {
        qvtest::writeFile(path_, text);
        ::testing::internal::CaptureStderr();
        QVD_read_parameters(path_.c_str());
        return ::testing::internal::GetCapturedStderr();
    }
    std::string signatureLine() const { return std::to_string(static_cast<uint32_t>(getSignature())) + "\n"; }
    bool boolValue(int i) const { return (*boolSlot(mem.boolBase, i) & kBoolCurrent) != 0; }
    unsigned char* charAt(int i) const { return charSlot(mem.charBase, i); }

    qvtest::TestImage image_;
    std::string dir_, path_;
};

TEST_F(ParametersFile, EveryLetterSetsCurrentAndOldValue) {
    const std::string err = apply(signatureLine() +
                                  "F 10 20000 simuperiod\n"
                                  "B 12 3 flag\n"
                                  "I 530 -17 count\n"
                                  "C 5 321 letter\n");
    EXPECT_EQ(err, "");
    const float* period = realSlot(mem.realBase, 10);
    EXPECT_EQ(period[0], 20000.0f);
    EXPECT_EQ(period[1], 20000.0f);
    EXPECT_EQ(*boolSlot(mem.boolBase, 12) & (kBoolCurrent | kBoolOld), kBoolCurrent | kBoolOld);
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], -17);
    EXPECT_EQ(intSlot(mem.intBase, 530)[1], -17);
    EXPECT_EQ(charAt(5)[0], 65);  // the low 8 bits of 321
    EXPECT_EQ(charAt(5)[1], 65);
}

TEST_F(ParametersFile, ABooleanKeepsItsForcedFlagAndOtherBits) {
    unsigned char* slot = boolSlot(mem.boolBase, 12);
    *slot = static_cast<unsigned char>(kBoolCurrent | kBoolOld | 0x08 | 0x40);
    apply(signatureLine() + "B 12 2 flag\n");
    EXPECT_EQ(*slot, 0x08 | 0x40);
}

TEST_F(ParametersFile, ValuesAreReadAsTheStandardConversionsRead) {
    apply(signatureLine() + "I 530 12abc a\nI 531 abc b\nI 532 99999999999 c\nF 16 1e3x d\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 12);
    EXPECT_EQ(intSlot(mem.intBase, 531)[0], 0);
    EXPECT_EQ(intSlot(mem.intBase, 532)[0], INT32_MAX);
    EXPECT_EQ(realSlot(mem.realBase, 16)[0], 1000.0f);
}

TEST_F(ParametersFile, ABlankLineOrAShortLineEndsTheReading) {
    apply(signatureLine() + "I 530 1 a\n\nI 531 2 b\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 1);
    EXPECT_EQ(intSlot(mem.intBase, 531)[0], 0);
    apply(signatureLine() + "I 530 5 a\nI 531 6\nI 532 7 c\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 5);
    EXPECT_EQ(intSlot(mem.intBase, 532)[0], 0);
}

TEST_F(ParametersFile, UnknownLettersAreSkippedSilently) {
    EXPECT_EQ(apply(signatureLine() + "X 530 1 a\nI 531 2 b\n"), "");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 0);
    EXPECT_EQ(intSlot(mem.intBase, 531)[0], 2);
}

TEST_F(ParametersFile, ABadSignatureAppliesNothing) {
    EXPECT_EQ(apply("42\nI 530 9 a\n"), "bad signature in file " + path_ + "\n");
    EXPECT_EQ(apply("no number\nI 530 9 a\n"), "bad signature in file " + path_ + "\n");
    EXPECT_EQ(apply(""), "bad signature in file " + path_ + "\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 0);
}

TEST_F(ParametersFile, AMissingFileIsReported) {
    const std::string missing = dir_ + "/none_params.txt";
    ::testing::internal::CaptureStderr();
    QVD_read_parameters(missing.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "can't open file " + missing + "\n");
}

TEST_F(ParametersFile, LinesOutsideTheirAreaAreSkippedAndTheRestApplies) {
    const std::string err = apply(signatureLine() +
                                  "B 40 1 pastTheEnd\n"
                                  "I -1 5 negative\n"
                                  "C 99999999999999 1 huge\n"
                                  "I 530 8 kept\n");
    EXPECT_EQ(err,
              path_ + " line 2: index 40 is outside the boolean area (0 to 39), line skipped\n" +
              path_ + " line 3: index -1 is outside the integer area (0 to 554), line skipped\n" +
              path_ + " line 4: index 0 is outside the character area (0 to 52), line skipped\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 8);
}

TEST_F(ParametersFile, OverlongTokensAndLinesAreSkipped) {
    const std::string err = apply(signatureLine() +
                                  "I 530 " + std::string(64, '1') + " name\n" +
                                  "I 531 1 " + std::string(1024, 'n') + "\n" +
                                  "I 532 1 " + std::string(3000, 'n') + "\n" +
                                  "I 533 4 kept\n");
    EXPECT_EQ(err,
              path_ + " line 2: value longer than 63 characters, line skipped\n" +
              path_ + " line 3: name longer than 1023 characters, line skipped\n" +
              path_ + " line 4: line longer than 2047 characters, line skipped\n");
    EXPECT_EQ(intSlot(mem.intBase, 530)[0], 0);
    EXPECT_EQ(intSlot(mem.intBase, 533)[0], 4);
    // Tokens at their limits are accepted.
    apply(signatureLine() + "I 534 " + std::string(62, '0') + "7 " + std::string(1023, 'n') + "\n");
    EXPECT_EQ(intSlot(mem.intBase, 534)[0], 7);
}

}  // namespace
