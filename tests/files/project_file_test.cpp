// The project file's bytes, and the reader's handling of damaged files.
#include "files/project_file.h"

#include "files/file_io.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <tuple>

#include <sys/resource.h>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le32s(std::initializer_list<int32_t> values, Bytes out = {}) {
    for (int32_t value : values)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    return out;
}

Bytes Header(int32_t version, int32_t effects, int32_t notes, int32_t tempo = 120,
             int32_t measures = 2, int32_t steps = 16) {
    return Le32s({version, effects, notes, tempo, measures, steps}, {'T', 'S', 'N', 0});
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes EffectRecord(const std::string& path, uint32_t bankSize, int32_t program) {
    Bytes out(256, 0);
    std::memcpy(out.data(), path.data(), std::min<size_t>(path.size(), 256));
    return Le32s({static_cast<int32_t>(bankSize), program}, out);
}

auto HeaderValues(const ProjectImage& image) {
    return std::tuple(image.tempo, image.measures, image.stepsPerMeasure);
}

ProjectImage Sample() {
    ProjectImage image;
    image.tempo = 133;
    image.measures = 8;
    image.stepsPerMeasure = 32;
    image.notes = {{0, 100, 90, 1}, {1, 10, 127, 4}, {200, 60, 1, 56}};
    image.effects = {{"/usr/lib/vst/a.so", 2, {1, 2, 3, 4, 5}}, {"/opt/b.so", 0, {}}};
    return image;
}

TEST(ProjectWriter, HeaderNotesInStepThenKeyOrderEffectRecordsAndTheWayBack) {
    ProjectImage sorted;
    sorted.notes = {{1, 10, 1, 1}, {0, 100, 2, 1}, {0, 5, 3, 1}};
    ProjectImage effect;
    effect.effects = {{"/x/y.so", 5, {9, 8, 7}}};
    EXPECT_EQ(SerializeProject(ProjectImage{})->size(), 28u);
    EXPECT_EQ(SerializeProject(ProjectImage{}), Header(1000, 0, 0));
    EXPECT_EQ(SerializeProject(sorted), Concat({Header(1000, 0, 3), Le32s({0, 5, 3, 1}),
                                                Le32s({0, 100, 2, 1}), Le32s({1, 10, 1, 1})}));
    EXPECT_EQ(SerializeProject(effect),
              Concat({Header(1000, 1, 0), EffectRecord("/x/y.so", 3, 5), Bytes{9, 8, 7}}));
    const auto whole = ParseProject(*SerializeProject(Sample()));
    EXPECT_EQ(whole.status, ProjectReadStatus::Ok);
    EXPECT_EQ(whole.skippedNotes, 0u);
    EXPECT_EQ(whole.image, Sample());
}

TEST(ProjectWriter, PathsThatDoNotFitAreRefusedNotCut) {
    ProjectImage image;
    image.effects = {{std::string(255, 'a'), 0, {}}};
    EXPECT_TRUE(SerializeProject(image));
    image.effects[0].libraryPath = std::string(256, 'a');
    EXPECT_FALSE(SerializeProject(image));
    image.effects[0].libraryPath = std::string("/a\0b.so", 7);
    EXPECT_FALSE(SerializeProject(image));
    image.effects.assign(5, EffectImage{});
    EXPECT_FALSE(SerializeProject(image));
}

TEST(ProjectReader, MagicAndLengthAreCheckedAnyVersionIsAcceptedAndValuesAreClamped) {
    Bytes tsnx = Header(1000, 0, 0);
    tsnx[3] = 'X';
    EXPECT_EQ(ParseProject(tsnx).status, ProjectReadStatus::NotAProject);
    EXPECT_EQ(ParseProject(Bytes{'T', 'S', 'N'}).status, ProjectReadStatus::NotAProject);
    Bytes shortHeader = Header(1000, 0, 0);
    shortHeader.pop_back();
    EXPECT_EQ(ParseProject(shortHeader).status, ProjectReadStatus::Truncated);
    auto read = ParseProject(Header(999, 0, 0, 500, 9, 1));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(read.image.version, 999);
    EXPECT_EQ(HeaderValues(read.image), std::tuple(303, 8, 2));
    read = ParseProject(Header(-5, -3, -7, 10, 0, 64));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(HeaderValues(read.image), std::tuple(30, 1, 32));
}

TEST(ProjectReader, BadNotesAreLeftOutAndSizeFieldsBeyondTheDataStopAtItsEnd) {
    auto read = ParseProject(Concat({Header(1000, 0, 7), Le32s({10, 60, 100, 3}),
                                     Le32s({12, 60, 100, 1}),  // overlaps the first note
                                     Le32s({-1, 60, 100, 1}),  // before the grid
                                     Le32s({250, 61, 100, 7}), // beyond step 255
                                     Le32s({0, 2, 200, 1}),    // velocity beyond 127
                                     Le32s({255, 127, 127, 1}), Le32s({13, 60, 5, 1})}));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(read.skippedNotes, 4u);
    EXPECT_EQ(read.image.notes,
              (std::vector<NoteRecord>{{10, 60, 100, 3}, {255, 127, 127, 1}, {13, 60, 5, 1}}));
    read = ParseProject(Concat({Header(1000, 0, 0x7FFFFFFF), Le32s({1, 2, 3, 4})}));
    EXPECT_EQ(read.status, ProjectReadStatus::Truncated);
    EXPECT_EQ(read.image.notes, (std::vector<NoteRecord>{{1, 2, 3, 4}}));
    // A bank size beyond the data is refused, not allocated; a path without terminator fills
    // its whole field (applying it refuses it as too long).
    read = ParseProject(Concat({Header(1000, 2, 0), EffectRecord(std::string(300, 'p'), 2, 0),
                                Bytes{1, 2}, EffectRecord("/b.so", 0xFFFFFFFF, 0), Bytes{1}}));
    EXPECT_EQ(read.status, ProjectReadStatus::Truncated);
    EXPECT_EQ(read.image.effects, (std::vector<EffectImage>{{std::string(256, 'p'), 0, {1, 2}}}));
}

TEST(ProjectFiles, AFailedSaveKeepsThePreviousFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.File("song.tsn");
    ASSERT_EQ(WriteProjectFile(path, Sample()), platform::FileErrorCause::None);
    const Bytes before = test::ReadBytes(path);
    // A write that fails part-way: the file size limit stops it after 100 bytes.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    ProjectImage bigger = Sample();
    bigger.effects[1].bank.resize(1000, 7);
    const auto cause = WriteProjectFile(path, bigger);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(cause, platform::FileErrorCause::Generic);
    EXPECT_EQ(test::ReadBytes(path), before);
    EXPECT_EQ(dir.Entries().size(), 1u);
}

} // namespace
} // namespace zorvil
