// The file selector plug-ins open through the host, answered by the user interface.
#include "host/seq_host.h"
#include "support/scripted_user_interface.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvil {
namespace {

class FileSelector : public ::testing::Test {
protected:
    FileSelector() { host.SetUserInterface(&ui); }

    intptr_t Call(int32_t opcode, VstFileSelect* selection) {
        return CEffectHost::AudioMasterCallback(nullptr, opcode, 0, 0, selection, 0.0f);
    }
    intptr_t Open() { return Call(audioMasterOpenFileSelector, &select); }
    intptr_t Close() { return Call(audioMasterCloseFileSelector, &select); }

    CSeqHost host;
    test::ScriptedUserInterface ui;
    VstFileSelect select{};
};

TEST_F(FileSelector, LoadBuildsTheFilterAndReturnsAPathTheHostOwns) {
    VstFileType types[2] = {};
    std::strcpy(types[0].name, "Text");
    std::strcpy(types[0].dosType, "txt");
    std::strcpy(types[1].name, "Wave");
    std::strcpy(types[1].dosType, "wav");
    char initial[] = "/home/user/samples/*.wav";
    select.command = kVstFileLoad;
    select.nbFileTypes = 2;
    select.fileTypes = types;
    std::strcpy(select.title, "Load Sample");
    select.initialPath = initial;
    select.reserved = 77; // whatever the plug-in left there
    ui.AnswerOpenFile("/home/user/samples/kick.wav");
    EXPECT_EQ(Open(), 1);
    const auto requests = ui.OpenFileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, "Text (*.txt)|*.txt|Wave (*.wav)|*.wav||");
    EXPECT_EQ(requests[0].title, "Load Sample");
    EXPECT_EQ(requests[0].initialPath, "/home/user/samples/*.wav");
    EXPECT_TRUE(requests[0].overwritePrompt);
    ASSERT_NE(select.returnPath, nullptr);
    EXPECT_STREQ(select.returnPath, "/home/user/samples/kick.wav");
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(select.returnPath, nullptr);
    EXPECT_EQ(select.reserved, 0);
}

TEST_F(FileSelector, SaveAndFolderUseTheirDialogs) {
    select.command = kVstFileSave; // no types: no filter
    ui.AnswerSaveFile("/tmp/out.txt");
    EXPECT_EQ(Open(), 1);
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(ui.SaveFileRequests()[0].filter, "");
    Close();

    char initial[] = "/home/user";
    select.command = kVstDirectorySelect;
    select.initialPath = initial;
    ui.AnswerFolder("/home/user/presets");
    EXPECT_EQ(Open(), 1);
    ASSERT_EQ(ui.FolderRequests().size(), 1u);
    EXPECT_EQ(ui.FolderRequests()[0].initialPath, "/home/user");
    EXPECT_STREQ(select.returnPath, "/home/user/presets");
    Close();
    EXPECT_TRUE(ui.OpenFileRequests().empty());
}

TEST_F(FileSelector, OverlongTypeFieldsAreReadOnlyToTheirEnd) {
    VstFileType type{};
    std::memset(type.name, 'n', sizeof type.name);       // no terminator
    std::memset(type.dosType, 'e', sizeof type.dosType); // no terminator
    select.command = kVstFileLoad;
    select.nbFileTypes = 1;
    select.fileTypes = &type;
    std::memset(select.title, 't', sizeof select.title); // no terminator
    EXPECT_EQ(Open(), 0);                                // cancelled
    ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
    const std::string name(128, 'n'), extension(8, 'e');
    EXPECT_EQ(ui.OpenFileRequests()[0].filter,
              name + " (*." + extension + ")|*." + extension + "||");
    EXPECT_EQ(ui.OpenFileRequests()[0].title, std::string(1024, 't'));
}

TEST_F(FileSelector, CancelAndUnsupportedCommandsAnswerZero) {
    select.command = kVstFileLoad;
    EXPECT_EQ(Open(), 0); // nothing scripted: cancelled
    EXPECT_EQ(select.returnPath, nullptr);
    ui.AnswerOpenFile("/never/used");
    for (int32_t command : {int32_t{kVstMultipleFilesLoad}, int32_t{4}, int32_t{-1}}) {
        select.command = command;
        EXPECT_EQ(Open(), 0) << command;
    }
    EXPECT_EQ(ui.OpenFileRequests().size(), 1u); // only the first asked
    EXPECT_EQ(Call(audioMasterOpenFileSelector, nullptr), 0);
    host.SetUserInterface(nullptr); // nobody to ask: nothing chosen
    select.command = kVstFileLoad;
    EXPECT_EQ(Open(), 0);
}

TEST_F(FileSelector, APlugInsOwnBufferIsFilledWithinItsSizeAndNeverFreed) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    select.command = kVstFileLoad;
    select.returnPath = buffer;
    select.sizeReturnPath = 8;
    ui.AnswerOpenFile("/a/very/long/path.wav");
    EXPECT_EQ(Open(), 1);
    EXPECT_STREQ(buffer, "/a/very");
    EXPECT_EQ(buffer[8], '#'); // nothing written past the size given
    select.reserved = 1;       // a forged or stale mark
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(select.returnPath, buffer); // not the host's to free

    select.sizeReturnPath = 0; // a buffer without a size cannot be filled safely
    ui.AnswerOpenFile("/x.wav");
    EXPECT_EQ(Open(), 0);
    EXPECT_STREQ(buffer, "/a/very");
}

} // namespace
} // namespace zorvil
