// The file selector plug-ins open through the host, answered by the user interface.
#include "host/seq_host.h"
#include "support/scripted_user_interface.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvil {
namespace {

using test::ScriptedUserInterface;

intptr_t Open(VstFileSelect& select) {
    return CEffectHost::AudioMasterCallback(nullptr, audioMasterOpenFileSelector, 0, 0, &select,
                                            0.0f);
}

intptr_t Close(VstFileSelect& select) {
    return CEffectHost::AudioMasterCallback(nullptr, audioMasterCloseFileSelector, 0, 0, &select,
                                            0.0f);
}

VstFileType FileType(const char* name, const char* extension) {
    VstFileType type{};
    std::strncpy(type.name, name, sizeof type.name - 1);
    std::strncpy(type.dosType, extension, sizeof type.dosType - 1);
    return type;
}

class FileSelector : public ::testing::Test {
protected:
    FileSelector() { host.SetUserInterface(&ui); }

    CSeqHost host;
    ScriptedUserInterface ui;
    VstFileSelect select{};
};

TEST_F(FileSelector, LoadBuildsTheFilterAndReturnsAPathTheHostOwns) {
    VstFileType types[] = {FileType("Text", "txt"), FileType("Wave", "wav")};
    char initial[] = "/home/user/samples/*.wav";
    select.command = kVstFileLoad;
    select.nbFileTypes = 2;
    select.fileTypes = types;
    std::strcpy(select.title, "Load Sample");
    select.initialPath = initial;
    select.reserved = 77; // whatever the plug-in left there
    ui.AnswerOpenFile("/home/user/samples/kick.wav");

    EXPECT_EQ(Open(select), 1);
    const auto requests = ui.OpenFileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, "Text (*.txt)|*.txt|Wave (*.wav)|*.wav||");
    EXPECT_EQ(requests[0].title, "Load Sample");
    EXPECT_EQ(requests[0].initialPath, "/home/user/samples/*.wav");
    EXPECT_TRUE(requests[0].overwritePrompt);
    ASSERT_NE(select.returnPath, nullptr);
    EXPECT_STREQ(select.returnPath, "/home/user/samples/kick.wav");
    EXPECT_NE(select.reserved, 0);

    EXPECT_EQ(Close(select), 0);
    EXPECT_EQ(select.returnPath, nullptr);
    EXPECT_EQ(select.reserved, 0);
}

TEST_F(FileSelector, EmptyTypeListGivesNoFilter) {
    select.command = kVstFileSave;
    ui.AnswerSaveFile("/tmp/out.txt");
    EXPECT_EQ(Open(select), 1);
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(ui.SaveFileRequests()[0].filter, "");
    EXPECT_TRUE(ui.OpenFileRequests().empty());
    Close(select);
}

TEST_F(FileSelector, OverlongTypeFieldsAreReadOnlyToTheirEnd) {
    VstFileType type{};
    std::memset(type.name, 'n', sizeof type.name);       // no terminator
    std::memset(type.dosType, 'e', sizeof type.dosType); // no terminator
    select.command = kVstFileLoad;
    select.nbFileTypes = 1;
    select.fileTypes = &type;
    std::memset(select.title, 't', sizeof select.title); // no terminator
    EXPECT_EQ(Open(select), 0);                          // cancelled
    const auto requests = ui.OpenFileRequests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string name(128, 'n');
    const std::string extension(8, 'e');
    EXPECT_EQ(requests[0].filter, name + " (*." + extension + ")|*." + extension + "|" + "|");
    EXPECT_EQ(requests[0].title, std::string(1024, 't'));
}

TEST_F(FileSelector, FolderUsesTheFolderBrowser) {
    char initial[] = "/home/user";
    select.command = kVstDirectorySelect;
    std::strcpy(select.title, "Choose Folder");
    select.initialPath = initial;
    ui.AnswerFolder("/home/user/presets");
    EXPECT_EQ(Open(select), 1);
    const auto requests = ui.FolderRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, "Choose Folder");
    EXPECT_EQ(requests[0].initialPath, "/home/user");
    EXPECT_STREQ(select.returnPath, "/home/user/presets");
    Close(select);
}

TEST_F(FileSelector, CancelAndUnsupportedCommandsAnswerZero) {
    select.command = kVstFileLoad;
    EXPECT_EQ(Open(select), 0); // nothing scripted: cancelled
    EXPECT_EQ(select.returnPath, nullptr);
    EXPECT_EQ(select.reserved, 0);

    ui.AnswerOpenFile("/never/used");
    for (int32_t command : {int32_t{kVstMultipleFilesLoad}, int32_t{4}, int32_t{-1}}) {
        select.command = command;
        EXPECT_EQ(Open(select), 0) << command;
    }
    EXPECT_EQ(ui.OpenFileRequests().size(), 1u); // only the first asked
    EXPECT_TRUE(ui.FolderRequests().empty());
    EXPECT_EQ(
        CEffectHost::AudioMasterCallback(nullptr, audioMasterOpenFileSelector, 0, 0, nullptr, 0.0f),
        0);
    host.SetUserInterface(nullptr); // nobody to ask: nothing chosen
    select.command = kVstFileLoad;
    EXPECT_EQ(Open(select), 0);
}

TEST_F(FileSelector, APlugInsOwnBufferIsFilledWithinItsSize) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    select.command = kVstFileLoad;
    select.returnPath = buffer;
    select.sizeReturnPath = 8;
    ui.AnswerOpenFile("/a/very/long/path.wav");
    EXPECT_EQ(Open(select), 1);
    EXPECT_STREQ(buffer, "/a/very");
    EXPECT_EQ(buffer[8], '#'); // nothing written past the size given
    EXPECT_EQ(select.reserved, 0);
    EXPECT_EQ(Close(select), 0);
    EXPECT_EQ(select.returnPath, buffer); // not the host's to free

    // A buffer without a size cannot be filled safely.
    select.sizeReturnPath = 0;
    ui.AnswerOpenFile("/x.wav");
    EXPECT_EQ(Open(select), 0);
    EXPECT_EQ(buffer[0], '/');
    EXPECT_EQ(buffer[1], 'a');
}

TEST_F(FileSelector, CloseFreesOnlyWhatTheHostHandedOut) {
    char foreign[] = "/owned/by/plugin";
    select.returnPath = foreign;
    select.reserved = 1; // a forged or stale mark
    EXPECT_EQ(Close(select), 0);
    EXPECT_EQ(select.returnPath, foreign);
}

} // namespace
} // namespace zorvil
