// The INI profile store: defaults, write-back, groups, and values as QSettings writes them.
#include "platform/profile.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zorvil::platform {
namespace {

class ProfileTest : public testing::Test {
protected:
    std::filesystem::path m_dir = std::filesystem::temp_directory_path() /
                                  ("zorvil-profile-test-" + std::to_string(getpid()));
    std::string m_path = (m_dir / "Ostrelworks" / "Zorvil.conf").string();

    void TearDown() override { std::filesystem::remove_all(m_dir); }
};

TEST_F(ProfileTest, WrittenValuesComeBackGroupsStayApartAndQSettingsFilesRead) {
    CProfile profile(m_path);
    EXPECT_EQ(profile.GetInt("Settings", "WaveOutBufSize", 2205), 2205);
    ASSERT_TRUE(profile.WriteString("Settings", "WaveOut", "MME: JACK"));
    ASSERT_TRUE(profile.WriteInt("Settings", "WaveOutBufSize", 441));
    ASSERT_TRUE(profile.WriteString("FxbFiles", "Path", "/home/me/banks"));
    ASSERT_TRUE(profile.WriteInt("Settings", "WaveOutBufSize", 147)); // replaced in place
    EXPECT_EQ(profile.GetString("Settings", "Path", "none"), "none");
    std::stringstream text;
    text << std::ifstream(m_path).rdbuf();
    EXPECT_EQ(text.str(), "[Settings]\nWaveOut=MME: JACK\nWaveOutBufSize=147\n\n"
                          "[FxbFiles]\nPath=/home/me/banks\n");
    EXPECT_EQ(CProfile(m_path).GetInt("Settings", "WaveOutBufSize", 0), 147); // a second reader

    const std::string tricky = " a;b,c=d \"q\" \\ "; // needs quoting
    ASSERT_TRUE(profile.WriteString("Settings", "MidiIn", tricky));
    EXPECT_EQ(CProfile(m_path).GetString("Settings", "MidiIn", ""), tricky);

    // What QSettings writes reads back.
    std::ofstream(m_path) << "[General]\nx=1\n\n[Settings]\nMidiIn=\"Port, 1\"\nMidiThru=1\n"
                             "WaveOutBufSize=abc\n";
    CProfile written(m_path);
    EXPECT_EQ(written.GetString("Settings", "MidiIn", ""), "Port, 1");
    EXPECT_EQ(written.GetInt("Settings", "MidiThru", 0), 1);
    EXPECT_EQ(written.GetInt("Settings", "WaveOutBufSize", 2205), 2205); // not a number
}

TEST_F(ProfileTest, AFailedWriteKeepsTheProfileAndLeavesNothingBehind) {
    CProfile profile(m_path);
    ASSERT_TRUE(profile.WriteString("Settings", "WaveOut", "MME: JACK"));
    const auto folder = std::filesystem::path(m_path).parent_path();
    // The file size limit stops the write part-way, as a full disk would.
    bool written = true;
    ASSERT_TRUE(test::WithFileSizeLimit(
        64, [&] { written = profile.WriteString("Settings", "MidiIn", std::string(200, 'x')); }));
    EXPECT_FALSE(written);
    EXPECT_EQ(CProfile(m_path).GetString("Settings", "WaveOut", ""), "MME: JACK");
    EXPECT_EQ(CProfile(m_path).GetString("Settings", "MidiIn", "none"), "none");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Zorvil.conf"});
}

TEST_F(ProfileTest, AProfileKeptElsewhereStaysALinkAndKeepsItsMode) {
    const auto folder = std::filesystem::path(m_path).parent_path();
    std::filesystem::create_directories(folder);
    const std::string kept = (m_dir / "dotfiles.conf").string();
    std::ofstream(kept) << "[Settings]\nMidiThru=1\n";
    std::filesystem::permissions(kept, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(kept, m_path);
    CProfile profile(m_path);
    ASSERT_TRUE(profile.WriteInt("Settings", "WaveOutBufSize", 441));
    EXPECT_TRUE(std::filesystem::is_symlink(m_path));
    EXPECT_EQ(CProfile(kept).GetInt("Settings", "WaveOutBufSize", 0), 441);
    EXPECT_EQ(CProfile(kept).GetInt("Settings", "MidiThru", 0), 1);
    EXPECT_EQ(std::filesystem::status(kept).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

} // namespace
} // namespace zorvil::platform
