#include <gtest/gtest.h>

#include "doc/c_doc8.h"
#include "doc/fib_layout.h"
#include "docwriter/doc8_writer.h"
#include "docwriter/recover_doc_file.h"
#include "platform/le_reader.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

using test::Word97Builder;

// An inline picture is a run with a picture location and the special-character flag, in
// whichever order the writer of the file put them; an embedded object's location names its
// storage and is left alone.
TEST(Word97WriterPictures, InlinePicturesWhateverTheOrderOfTheirProperties) {
    const std::vector<uint8_t> location = {0x03, 0x6A, 100, 0, 0, 0};
    const std::vector<uint8_t> special = {0x55, 0x08, 0x01};
    const std::vector<uint8_t> object = {0x0A, 0x08, 0x01};
    auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> sprms;
        size_t pictures, blocks;
    } cases[] = {
        {"location first", join({location, special}), 1, 1},
        {"flag first", join({special, location}), 1, 1},
        {"embedded object", join({object, location, special}), 0, 0},
        {"embedded object, flag first", join({special, object, location}), 0, 0},
        {"location alone", location, 0, 0},
    };
    for (const Case& c : cases) {
        Word97Builder b;
        b.text = u"\x01x";
        std::vector<uint8_t> data(300, 0);
        writeU32LE(data, 100, 40);
        data[130] = 0xFF, data[131] = 0xD8, data[132] = 0xFF;  // a JPEG inside
        b.data = data;
        b.chpPages = {{{b.endOf(0), c.sprms}, {b.endOf(1), {}}}};
        DocContext ctx;
        RecoverDocFindings f;
        std::vector<uint8_t> out;
        ASSERT_EQ(RecoverDocFile(b.buildFile(), out, ctx, &f).code, kRecoverDocWritten) << c.name;
        EXPECT_EQ(f.pictureRuns, c.pictures) << c.name;
        EXPECT_EQ(f.dataBlocks, c.blocks) << c.name;
        // Read back, the picture is in the new Data stream where its run points.
        DocContext again;
        RecoverDocFindings g;
        std::vector<uint8_t> twice;
        ASSERT_EQ(RecoverDocFile(out, twice, again, &g).code, kRecoverDocWritten) << c.name;
        EXPECT_EQ(g.pictureRuns, c.pictures) << c.name;
        EXPECT_EQ(g.picturesDropped, 0u) << c.name;
    }
}

// The drawing group's picture store with one named entry between two plain ones: every
// picture is copied after the new document's text and each entry points at its own copy,
// while the rest of the drawing group (the name too) is copied unchanged.
TEST(Word97WriterPictures, PictureStoreEntriesOfEveryLength) {
    const std::vector<std::vector<uint8_t>> blips = {std::vector<uint8_t>(50, 0xA1),
                                                     std::vector<uint8_t>(70, 0xB2),
                                                     std::vector<uint8_t>(30, 0xC3)};
    const std::vector<uint8_t> name = {'P', 0, 'i', 0, 'c', 0, 0, 0};
    Word97Builder b;
    const uint32_t blipsAt = static_cast<uint32_t>(b.build().wordDocument.size());

    std::vector<uint8_t> entries;
    std::vector<size_t> foDelayAt;
    uint32_t next = blipsAt;
    for (size_t i = 0; i < blips.size(); ++i) {
        const bool named = i == 1;
        appendU16LE(entries, 0x0002);
        appendU16LE(entries, 0xF007);
        appendU32LE(entries, static_cast<uint32_t>(36 + (named ? name.size() : 0)));
        const size_t fixed = entries.size();
        entries.resize(fixed + 36, 0);
        writeU32LE(entries, fixed + 20, static_cast<uint32_t>(blips[i].size()));
        foDelayAt.push_back(32 + fixed + 28);  // the entries start 32 bytes into the group
        writeU32LE(entries, fixed + 28, next);
        entries[fixed + 33] = named ? static_cast<uint8_t>(name.size()) : 0;
        if (named)
            entries.insert(entries.end(), name.begin(), name.end());
        next += static_cast<uint32_t>(blips[i].size());
    }
    std::vector<uint8_t> dgg;
    appendU16LE(dgg, 0x000F);
    appendU16LE(dgg, 0xF000);
    appendU32LE(dgg, 0);  // the group's length, set below
    appendU16LE(dgg, 0x0000);
    appendU16LE(dgg, 0xF006);
    appendU32LE(dgg, 8);  // a short drawing-group record
    dgg.resize(dgg.size() + 8, 0x11);
    appendU16LE(dgg, static_cast<uint16_t>(0x000F | (blips.size() << 4)));
    appendU16LE(dgg, 0xF001);
    appendU32LE(dgg, static_cast<uint32_t>(entries.size()));
    dgg.insert(dgg.end(), entries.begin(), entries.end());
    writeU32LE(dgg, 4, static_cast<uint32_t>(dgg.size() - 8));
    b.extraTables = {{fib::kDggInfo, dgg}};

    // Each picture: an 8-byte record header whose length is the body's.
    Doc8Streams streams = b.build();
    for (const std::vector<uint8_t>& blip : blips) {
        std::vector<uint8_t> rec(8, 0);
        writeU32LE(rec, 4, static_cast<uint32_t>(blip.size() - 8));
        std::copy(blip.begin() + 8, blip.end(), std::back_inserter(rec));
        streams.wordDocument.insert(streams.wordDocument.end(), rec.begin(), rec.end());
    }
    DocContext ctx;
    CDoc8 doc(std::move(streams), ctx);
    ASSERT_EQ(doc.ReadDocument(0), 8);
    doc.ReadPictureStore();
    ASSERT_EQ(doc.pictureStore.size(), blips.size());

    Doc8Writer writer(doc, nullptr);
    CompoundFileWriter out;
    ASSERT_TRUE(writer.build(out).empty());
    const std::vector<uint8_t>& wd = out.root().findStream(u"WordDocument")->bytes();
    const std::vector<uint8_t>& tbl = out.root().findStream(u"1Table")->bytes();
    const uint32_t fcDgg = readU32LE(wd, fib::kDggInfo);
    ASSERT_EQ(readU32LE(wd, fib::kDggInfo + 4), dgg.size());
    std::vector<uint8_t> written(tbl.begin() + fcDgg, tbl.begin() + fcDgg + dgg.size());
    for (size_t i = 0; i < blips.size(); ++i) {
        const uint32_t at = readU32LE(written, foDelayAt[i]);
        ASSERT_TRUE(fits(wd, at, blips[i].size())) << i;
        EXPECT_EQ(std::vector<uint8_t>(wd.begin() + at + 8, wd.begin() + at + blips[i].size()),
                  std::vector<uint8_t>(blips[i].begin() + 8, blips[i].end()))
            << i;
        writeU32LE(written, foDelayAt[i], readU32LE(dgg, foDelayAt[i]));
    }
    EXPECT_EQ(written, dgg);  // nothing else of the drawing group changed
}

}  // namespace
}  // namespace morvel
