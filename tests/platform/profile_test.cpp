// The INI profile store: defaults, write-back, groups, and values as QSettings writes them.
#include "platform/profile.h"

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

TEST_F(ProfileTest, WrittenValuesComeBackAndGroupsStayApart) {
    CProfile profile(m_path);
    EXPECT_EQ(profile.GetInt("Settings", "WaveOutBufSize", 2205), 2205);
    EXPECT_FALSE(std::filesystem::exists(m_path)); // reading writes nothing
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
}

TEST_F(ProfileTest, ReadsWhatQSettingsWrites) {
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path());
    std::ofstream(m_path) << "[General]\nx=1\n\n[Settings]\nMidiIn=\"Port, 1\"\nMidiThru=1\n"
                             "WaveOutBufSize=abc\n";
    CProfile profile(m_path);
    EXPECT_EQ(profile.GetString("Settings", "MidiIn", ""), "Port, 1");
    EXPECT_EQ(profile.GetInt("Settings", "MidiThru", 0), 1);
    EXPECT_EQ(profile.GetInt("Settings", "WaveOutBufSize", 2205), 2205); // not a number
}

} // namespace
} // namespace zorvil::platform
