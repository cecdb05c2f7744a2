#include "tools/pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/unit/fake_image.h"
#include "tools/image_files.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

Resource resource(std::uint16_t type, ResourceName name, std::uint16_t language, std::string data) {
    return {{type, {}}, std::move(name), language, 1252, std::move(data)};
}

// What the linker puts in every launcher: a manifest and the version information.
std::vector<Resource> stubResources() {
    return {resource(24, {1, {}}, 0x409, "<assembly/>"),
            resource(16, {1, {}}, 0x409, std::string("version\0info", 12))};
}

TEST(PeResources, WrittenTreeReadsBackInDirectoryOrderAndASecondEditReplacesIt) {
    std::string image = fakeImage();
    std::vector<Resource> resources = {
        resource(kResourceTypeData, {10000, {}}, 0, std::string(70000, 'r')),
        resource(kResourceTypeGroupIcon, {0, u"ID_SPLASH_ICON"}, 0, "group"),
        resource(kResourceTypeBitmap, {10000, {}}, 0x407, "deutsch"),
        resource(kResourceTypeBitmap, {10000, {}}, 0, "neutral"),
        {{0, u"CUSTOM"}, {0, u"B"}, 0, 0, "named type"},
        {{0, u"CUSTOM"}, {0, u"A"}, 0, 0, "sorted first"},
    };
    ImageEdit first = writeResources(image, stubResources());
    ASSERT_EQ(first.error, "");
    ImageEdit edit = writeResources(first.bytes, resources);
    ASSERT_EQ(edit.error, "");
    EXPECT_EQ(get(edit.bytes, kPe + 6, 2), 3u) << "the first edit's section is replaced";
    std::size_t entry = kSections + 80;
    EXPECT_EQ(edit.bytes.size(), get(edit.bytes, entry + 20, 4) + get(edit.bytes, entry + 16, 4))
        << "the image ends with the section";
    EXPECT_EQ(edit.bytes.substr(0x400, 0x400), image.substr(0x400, 0x400)) << "sections unchanged";

    ResourceList read = readResources(edit.bytes);
    ASSERT_EQ(read.error, "");
    std::vector<std::string> order;
    for (const Resource& r : read.resources) order.push_back(r.data);
    EXPECT_EQ(order, (std::vector<std::string>{"sorted first", "named type", "neutral", "deutsch",
                                               std::string(70000, 'r'), "group"}));
    EXPECT_EQ(read.resources[3], resources[2]);
}

TEST(PeResources, ChecksumIsRecomputedWhenTheStubHadOne) {
    ImageEdit plain = writeResources(fakeImage(2, 0), stubResources());
    ImageEdit summed = writeResources(fakeImage(2, 0x1234), stubResources());
    EXPECT_EQ(get(plain.bytes, kOptional + 64, 4), 0u);
    // The standard sum: 16-bit words with the carry folded in, plus the file's length.
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < summed.bytes.size(); at += 2) {
        if (at == kOptional + 64 || at == kOptional + 66) continue;
        sum += get(summed.bytes, at, 2);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(get(summed.bytes, kOptional + 64, 4), sum + summed.bytes.size());
}

TEST(PeResources, RefusesImagesItCannotEditSafely) {
    std::string signedImage = fakeImage();
    put(signedImage, kOptional + 112 + 4 * 8 + 4, 100, 4);
    for (const auto& [image, error] :
         {std::pair<std::string, const char*>{fakeImage() + "block", "does not end with its last"},
          {signedImage, "is signed"},
          {std::string(200, 'x'), "no MZ header"}}) {
        ImageEdit edit = writeResources(image, stubResources());
        EXPECT_NE(edit.error.find(error), std::string::npos) << edit.error;
        EXPECT_EQ(edit.bytes, "") << error;
    }
}

// Damaged trees must be refused or read within the file's bounds (AddressSanitizer
// watches the native run), never crash or loop.
TEST(PeResources, DamagedTreesAreRefusedNotFollowed) {
    std::string good = writeResources(fakeImage(), stubResources()).bytes;
    std::size_t tree = 0x800;
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = good;
        for (int n = 0; n < 4; ++n) damaged[tree + random() % 0x100] = static_cast<char>(random());
        ResourceList list = readResources(damaged);
        EXPECT_TRUE(list.error.empty() || list.resources.empty());
    }
    std::string loop = good;
    put(loop, tree + 16 + 4, 0x80000000u, 4);  // the first type points back at the root
    EXPECT_NE(readResources(loop).error, "");
}

TEST(ImageFiles, BitmapsAResourceCannotCarryAreRefused) {
    for (const auto& [file, error] : {std::pair<std::string, const char*>{"GIF89a", "not a bitmap"},
                                      {bitmapFile(10, 10, 24, 5), "PNG"},
                                      {bitmapFile(10, 10, 7), "bits per pixel"}}) {
        std::string message;
        EXPECT_FALSE(bitmapFromFile(file, message));
        EXPECT_NE(message.find(error), std::string::npos) << message;
    }
}

TEST(LauncherResources, PicturesJoinTheStubsResourcesAndAReplacedIconLeavesNoImagesBehind) {
    std::string stub = writeResources(fakeImage(), stubResources()).bytes;
    std::string dib(40 + 64, 'd');
    put(dib, 0, 40, 4);
    LauncherImages images{bitmapFile(8, 8, 24), "splash bytes", iconFile({dib, dib + "2"})};
    ImageEdit first = setLauncherImages(stub, images);
    ASSERT_EQ(first.error, "");

    images.icon = iconFile({dib + "3"});
    ImageEdit second = setLauncherImages(first.bytes, images);
    ASSERT_EQ(second.error, "");
    std::vector<Resource> found = readResources(second.bytes).resources;
    for (const Resource& kept : stubResources()) {
        EXPECT_NE(std::find(found.begin(), found.end(), kept), found.end());
    }
    std::vector<std::string> icons;
    for (const Resource& r : found) {
        if (r.type.id == kResourceTypeIcon) icons.push_back(r.data);
    }
    EXPECT_EQ(icons, std::vector<std::string>{dib + "3"});
}

}  // namespace
}  // namespace tesmo::tools
