#include "tools/pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/unit/fake_image.h"
#include "tools/image_files.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

std::size_t sectionCount(const std::string& image) {
    return get(image, kPe + 6, 2);
}

// Whatever follows the last section's raw data.
std::string behindLastSection(const std::string& image) {
    std::size_t entry = kSections + 40 * (sectionCount(image) - 1);
    return image.substr(get(image, entry + 20, 4) + get(image, entry + 16, 4));
}

Resource resource(std::uint16_t type, ResourceName name, std::uint16_t language, std::string data) {
    return {{type, {}}, std::move(name), language, 1252, std::move(data)};
}

// What the linker puts in every launcher: a manifest and the version information.
std::vector<Resource> stubResources() {
    return {resource(24, {1, {}}, 0x409, "<assembly/>"),
            resource(16, {1, {}}, 0x409, std::string("version\0info", 12))};
}

TEST(PeResources, WrittenTreeReadsBackInDirectoryOrderAndTheImageStaysConsistent) {
    std::string image = fakeImage();
    std::vector<Resource> resources = {
        resource(kResourceTypeData, {10000, {}}, 0, std::string(1001, 'r')),
        resource(kResourceTypeGroupIcon, {0, u"ID_SPLASH_ICON"}, 0, "group"),
        resource(kResourceTypeBitmap, {10000, {}}, 0x407, "deutsch"),
        resource(kResourceTypeBitmap, {10000, {}}, 0, "neutral"),
        resource(kResourceTypeBitmap, {7, {}}, 0, ""),
        {{0, u"CUSTOM"}, {0, u"B"}, 0, 0, "named type"},
        {{0, u"CUSTOM"}, {0, u"A"}, 0, 0, "sorted first"},
    };
    ImageEdit edit = writeResources(image, resources);
    ASSERT_EQ(edit.error, "");
    const std::string& out = edit.bytes;

    EXPECT_EQ(sectionCount(out), 3u);
    std::size_t entry = kSections + 80;
    EXPECT_EQ(out.substr(entry, 8), std::string(".rsrc\0\0\0", 8));
    EXPECT_EQ(get(out, entry + 12, 4), 0x3000u);
    EXPECT_EQ(get(out, entry + 20, 4), 0x800u);
    EXPECT_EQ(get(out, entry + 16, 4) % 0x200, 0u);
    EXPECT_EQ(out.size(), 0x800u + get(out, entry + 16, 4)) << "the image ends with the section";
    EXPECT_EQ(get(out, kOptional + 112 + 16, 4), 0x3000u);
    EXPECT_EQ(get(out, kOptional + 112 + 20, 4), get(out, entry + 8, 4));
    EXPECT_EQ(get(out, kOptional + 56, 4), 0x3000u + ((get(out, entry + 8, 4) + 0xFFF) & ~0xFFFu));
    EXPECT_EQ(out.substr(0x400, 0x400), image.substr(0x400, 0x400)) << "sections unchanged";

    ResourceList read = readResources(out);
    ASSERT_EQ(read.error, "");
    std::vector<std::string> order;
    for (const Resource& r : read.resources) order.push_back(r.data);
    EXPECT_EQ(order, (std::vector<std::string>{"sorted first", "named type", "", "neutral",
                                               "deutsch", std::string(1001, 'r'), "group"}));
    EXPECT_EQ(read.resources[4].language, 0x407);
    EXPECT_EQ(read.resources[4].codePage, 1252u);
    EXPECT_EQ(read.resources[1].name.text, u"B");
}

TEST(PeResources, ASecondEditReplacesItsOwnSectionInsteadOfAddingOne) {
    ImageEdit first = writeResources(fakeImage(), stubResources());
    ASSERT_EQ(first.error, "");
    std::vector<Resource> more = stubResources();
    more.push_back(resource(kResourceTypeData, {10000, {}}, 0, std::string(70000, 'x')));
    ImageEdit second = writeResources(first.bytes, more);
    ASSERT_EQ(second.error, "");
    EXPECT_EQ(sectionCount(second.bytes), 3u);
    std::vector<Resource> read = readResources(second.bytes).resources;
    std::reverse(more.begin(), more.end());  // directory order: by type number
    EXPECT_EQ(read, more);
    EXPECT_EQ(behindLastSection(second.bytes), "");
}

TEST(PeResources, ChecksumIsRecomputedWhenTheStubHadOne) {
    ImageEdit plain = writeResources(fakeImage(2, 0), stubResources());
    ImageEdit summed = writeResources(fakeImage(2, 0x1234), stubResources());
    ASSERT_EQ(plain.error, "");
    ASSERT_EQ(summed.error, "");
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
    std::string appended = fakeImage() + "block";
    std::string signedImage = fakeImage();
    put(signedImage, kOptional + 112 + 4 * 8 + 4, 100, 4);
    std::string fullTable = fakeImage();
    put(fullTable, kOptional + 60, kSections + 80 + 20, 4);
    std::string dll32 = fakeImage();
    put(dll32, kOptional, 0x10C, 2);

    struct Case {
        const char* what;
        std::string image;
        const char* error;
    };
    for (const Case& c : {Case{"appended", appended, "does not end with its last section"},
                          Case{"signed", signedImage, "is signed"},
                          Case{"full table", fullTable, "no room for a resource section"},
                          Case{"unknown magic", dll32, "neither PE32 nor PE32+"},
                          Case{"not PE", std::string(200, 'x'), "no MZ header"}}) {
        ImageEdit edit = writeResources(c.image, stubResources());
        EXPECT_NE(edit.error.find(c.error), std::string::npos) << c.what << ": " << edit.error;
        EXPECT_EQ(edit.bytes, "") << c.what;
    }
}

// Damaged trees must be refused or read within the file's bounds (AddressSanitizer
// watches the native run), never crash.
TEST(PeResources, DamagedTreesAreRefusedNotFollowed) {
    std::vector<Resource> resources = stubResources();
    resources.push_back(resource(kResourceTypeGroupIcon, {0, u"ID_SPLASH_ICON"}, 0, "group"));
    std::string good = writeResources(fakeImage(), resources).bytes;
    std::size_t tree = 0x800;
    std::mt19937 random(7);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = good;
        for (int n = 0; n < 4; ++n) {
            damaged[tree + random() % 0x100] = static_cast<char>(random());
        }
        ResourceList list = readResources(damaged);
        if (!list.error.empty()) {
            ++refused;
            EXPECT_TRUE(list.resources.empty());
        }
    }
    EXPECT_GT(refused, 0);

    std::string outside = good;
    put(outside, kOptional + 112 + 16, 0x9000, 4);
    EXPECT_NE(readResources(outside).error, "");
    std::string loop = good;
    put(loop, tree + 16 + 4, 0x80000000u, 4);  // the first type points back at the root
    EXPECT_NE(readResources(loop).error, "");
}

TEST(ImageFiles, BitmapsBecomeResourcesAndBackUnchanged) {
    for (std::string file : {bitmapFile(800, 87, 8), bitmapFile(3, -2, 24), bitmapFile(33, 1, 1)}) {
        std::string error;
        std::optional<Bitmap> bitmap = bitmapFromFile(file, error);
        ASSERT_TRUE(bitmap) << error;
        EXPECT_EQ(bitmap->resource, file.substr(14));
        EXPECT_EQ(bitmap->width, static_cast<std::int32_t>(get(file, 18, 4)));
        EXPECT_EQ(bitmap->height, std::abs(static_cast<std::int32_t>(get(file, 22, 4))));
        EXPECT_EQ(bitmapFileFromResource(bitmap->resource, error), file);
    }
}

TEST(ImageFiles, BitmapsAResourceCannotCarryAreRefused) {
    std::string truncated = bitmapFile(10, 10, 24);
    truncated.resize(truncated.size() - 1);
    struct Case {
        std::string file;
        const char* error;
    };
    for (const Case& c :
         {Case{"GIF89a", "not a bitmap file"}, Case{bitmapFile(10, 10, 24, 5), "PNG"},
          Case{bitmapFile(10, 10, 24, 0, 4), "instead of directly behind"},
          Case{truncated, "cut off"}, Case{bitmapFile(10, 10, 7), "bits per pixel"},
          Case{bitmapFile(0, 10, 24), "no pixels"}}) {
        std::string error;
        EXPECT_FALSE(bitmapFromFile(c.file, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(ImageFiles, IconFilesBecomeAGroupAndNumberedImagesAndBack) {
    std::string dib(40 + 64, 'd');
    put(dib, 0, 40, 4);
    std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + "rest";
    std::string file = iconFile({dib, png});
    std::string error;
    std::optional<IconResources> icon = iconFromFile(file, 7, error);
    ASSERT_TRUE(icon) << error;
    EXPECT_EQ(icon->images, (std::vector<std::string>{dib, png}));
    EXPECT_EQ(iconIdsOfGroup(icon->group), (std::vector<std::uint16_t>{7, 8}));
    auto image = [&](std::uint16_t id) -> std::optional<std::string> {
        return icon->images.at(id - 7);
    };
    EXPECT_EQ(iconFileFromResources(icon->group, image, error), file);

    EXPECT_FALSE(iconFromFile(iconFile({"not an image"}), 1, error));
    EXPECT_NE(error.find("neither a bitmap nor a PNG"), std::string::npos) << error;
    std::string cut = file.substr(0, file.size() - 2);
    EXPECT_FALSE(iconFromFile(cut, 1, error));
    EXPECT_NE(error.find("outside the file"), std::string::npos) << error;
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

    std::string error;
    LauncherImages back = readLauncherImages(second.bytes + "block behind", error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(back.splashBitmap, images.splashBitmap);
    EXPECT_EQ(back.splashImage, images.splashImage);
    EXPECT_EQ(back.icon, images.icon);
}

}  // namespace
}  // namespace tesmo::tools
