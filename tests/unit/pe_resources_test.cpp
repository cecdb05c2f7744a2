#include "tools/pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/fake_image.h"
#include "tools/image_files.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

Resource resource(std::uint16_t type, ResourceName name, std::uint16_t language, std::string data) {
    return {{type, {}}, std::move(name), language, 1252, std::move(data)};
}

std::vector<Resource> stubResources() {
    return {resource(24, {1, {}}, 0x409, std::string("<assembly/>\0", 12))};
}

TEST(PeResources, WrittenTreeReadsBackInDirectoryOrderAndASecondEditReplacesIt) {
    std::vector<Resource> resources = {
        resource(kResourceTypeData, {10000, {}}, 0, std::string(70000, 'r')),
        resource(kResourceTypeBitmap, {10000, {}}, 0x407, "deutsch"),
        resource(kResourceTypeBitmap, {10000, {}}, 0, "neutral"),
        {{0, u"CUSTOM"}, {0, u"A"}, 0, 0, "sorted first"},
    };
    ImageEdit first = writeResources(fakeImage(2, 0x1234), stubResources());
    ImageEdit edit = writeResources(first.bytes, resources);
    ASSERT_EQ(edit.error, "");
    EXPECT_EQ(get(edit.bytes, kPe + 6, 2), 3u) << "the first edit's section is replaced";
    // The standard sum: 16-bit words with the carry folded in, plus the file's length.
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < edit.bytes.size(); at += 2) {
        if (at != kOptional + 64 && at != kOptional + 66) sum += get(edit.bytes, at, 2);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(get(edit.bytes, kOptional + 64, 4), sum + edit.bytes.size());

    ResourceList read = readResources(edit.bytes);
    ASSERT_EQ(read.error, "");
    std::vector<std::string> order;
    for (const Resource& r : read.resources) order.push_back(r.data);
    EXPECT_EQ(order, (std::vector<std::string>{"sorted first", "neutral", "deutsch",
                                               std::string(70000, 'r')}));
    EXPECT_EQ(read.resources[2], resources[1]);
}

TEST(PeResources, RefusesImagesItCannotEditSafely) {
    std::string signedImage = fakeImage();
    put(signedImage, kOptional + 112 + 4 * 8 + 4, 100, 4);
    for (const auto& [image, error] :
         {std::pair<std::string, const char*>{signedImage, "is signed"},
          {fakeImage() + "block", "does not end with its last"}}) {
        EXPECT_NE(writeResources(image, stubResources()).error.find(error), std::string::npos);
    }
}

TEST(PeResources, DamagedTreesAreRefusedNotFollowed) {
    std::string loop = writeResources(fakeImage(), stubResources()).bytes;
    put(loop, 0x800 + 16 + 4, 0x80000000u, 4);  // the first type points back at the root
    EXPECT_NE(readResources(loop).error, "");
}

TEST(ImageFiles, BitmapsAResourceCannotCarryAreRefused) {
    for (const auto& [file, error] :
         {std::pair<std::string, const char*>{bitmapFile(10, 10, 24, 5), "PNG"},
          {bitmapFile(10, 10, 7), "bits per pixel"}}) {
        std::string message;
        EXPECT_FALSE(bitmapFromFile(file, message));
        EXPECT_NE(message.find(error), std::string::npos) << message;
    }
}

TEST(LauncherResources, PicturesJoinTheStubsResourcesAndAReplacedIconLeavesNoImagesBehind) {
    std::string dib(40 + 64, 'd');
    put(dib, 0, 40, 4);
    LauncherImages images{bitmapFile(8, 8, 24), "splash bytes", iconFile({dib, dib + "2"})};
    ImageEdit first = setLauncherImages(writeResources(fakeImage(), stubResources()).bytes, images);
    images.icon = iconFile({dib + "3"});
    ImageEdit second = setLauncherImages(first.bytes, images);
    std::vector<Resource> found = readResources(second.bytes).resources;
    EXPECT_NE(std::find(found.begin(), found.end(), stubResources()[0]), found.end());
    std::vector<std::string> icons;
    for (const Resource& r : found) {
        if (r.type.id == kResourceTypeIcon) icons.push_back(r.data);
    }
    EXPECT_EQ(icons, std::vector<std::string>{dib + "3"});
}

}  // namespace
}  // namespace tesmo::tools
