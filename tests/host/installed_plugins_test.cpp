// Real third-party plug-ins (Debian's dpf-plugins-vst, when installed) through load, a few
// blocks with notes, and unload.
#include "host/seq_host.h"
#include "host_test_doubles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <dirent.h>
#include <string>
#include <vector>

namespace zorvil {
namespace {

TEST(InstalledPlugIns, LoadProcessAndUnload) {
    std::vector<std::string> plugins;
    if (DIR* folder = opendir("/usr/lib/vst")) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
                plugins.push_back("/usr/lib/vst/" + name);
        }
        closedir(folder);
    }
    if (plugins.empty())
        GTEST_SKIP() << "no plug-ins in /usr/lib/vst (dpf-plugins-vst not installed)";
    CSeqHost host;
    test::CapturingOutput output;
    host.SetBlockOutput(&output);
    std::vector<float> left(2205), right(2205);
    float* buffers[2] = {left.data(), right.data()};
    for (const std::string& path : plugins) {
        const int slot = host.LoadPlugin(path);
        ASSERT_EQ(slot, 0) << path << ": " << host.LastLoadError();
        ASSERT_NE(host.GetEffect(slot)->GetDirectory(), nullptr);
        EXPECT_STREQ(host.GetEffect(slot)->GetDirectory(), "/usr/lib/vst");
        for (uint32_t block = 0; block < 4; ++block) {
            CMidiMessage note(block % 2 == 0 ? 0x90 : 0x80, 60, 100);
            host.QueueMidiEvent(note);
            host.ProcessBlock(buffers, 2205, 2, block * 50);
        }
        ASSERT_EQ(output.left.size(), 2205u);
        for (std::size_t i = 0; i < output.left.size(); ++i) {
            ASSERT_TRUE(std::isfinite(output.left[i])) << path;
            ASSERT_TRUE(std::isfinite(output.right[i])) << path;
        }
        host.IdleAll();
        EXPECT_TRUE(host.RemoveEffect(slot)) << path;
    }
}

} // namespace
} // namespace zorvil
