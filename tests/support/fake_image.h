// Files for the builder's tests: a small PE32+ image, a bitmap and an icon; and the block of
// a built launcher read back as the launcher reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/block_reader.h"

namespace tesmo::tools {

inline std::uint32_t get(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

inline void put(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline constexpr std::size_t kPe = 0x80;
inline constexpr std::size_t kOptional = kPe + 24;
inline constexpr std::size_t kSections = kOptional + 240;

// The headers the resource editor and the block writer rely on, laid out as the MinGW linker
// lays them out: headers in 0x400 bytes, sections at 0x1000 steps, the last ending the file.
inline std::string fakeImage(int sections = 2, std::uint32_t checksum = 0) {
    std::string image(0x400 + 0x200 * sections, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put(image, 60, kPe, 4);
    image.replace(kPe, 4, "PE\0\0", 4);
    put(image, kPe + 4, 0x8664, 2);
    put(image, kPe + 6, sections, 2);
    put(image, kPe + 20, 240, 2);
    put(image, kOptional, 0x20B, 2);
    put(image, kOptional + 32, 0x1000, 4);
    put(image, kOptional + 36, 0x200, 4);
    put(image, kOptional + 56, 0x1000 * (sections + 1), 4);
    put(image, kOptional + 60, 0x400, 4);
    put(image, kOptional + 64, checksum, 4);
    put(image, kOptional + 108, 16, 4);
    for (int i = 0; i < sections; ++i) {
        std::size_t entry = kSections + 40 * i;
        image.replace(entry, 5, i == 0 ? ".text" : ".data");
        put(image, entry + 8, 0x180, 4);
        put(image, entry + 12, 0x1000 * (i + 1), 4);
        put(image, entry + 16, 0x200, 4);
        put(image, entry + 20, 0x400 + 0x200 * i, 4);
        for (std::size_t b = 0; b < 0x180; ++b)
            image[0x400 + 0x200 * i + b] = static_cast<char>(b + i);
    }
    return image;
}

// A .bmp file with patterned pixels.
inline std::string bitmapFile(int width, int height, int bits, std::uint32_t compression = 0) {
    std::uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    std::uint32_t row = ((width * bits + 31) / 32) * 4;
    std::string file(14 + 40 + 4 * colours + row * height, '\0');
    file[0] = 'B';
    file[1] = 'M';
    put(file, 2, static_cast<std::uint32_t>(file.size()), 4);
    put(file, 10, 14 + 40 + 4 * colours, 4);
    put(file, 14, 40, 4);
    put(file, 18, width, 4);
    put(file, 22, static_cast<std::uint32_t>(height), 4);
    put(file, 26, 1, 2);
    put(file, 28, bits, 2);
    put(file, 30, compression, 4);
    for (std::size_t i = 54; i < file.size(); ++i) file[i] = static_cast<char>(i * 13);
    return file;
}

// An .ico file holding `images`, each announced as 16 << index pixels square.
inline std::string iconFile(const std::vector<std::string>& images) {
    std::string file(6 + 16 * images.size(), '\0');
    put(file, 2, 1, 2);
    put(file, 4, static_cast<std::uint32_t>(images.size()), 2);
    for (std::size_t i = 0; i < images.size(); ++i) {
        std::size_t entry = 6 + 16 * i;
        file[entry] = static_cast<char>(16 << i);
        file[entry + 1] = static_cast<char>(16 << i);
        put(file, entry + 4, 1, 2);
        put(file, entry + 6, 32, 2);
        put(file, entry + 8, static_cast<std::uint32_t>(images[i].size()), 4);
        put(file, entry + 12, static_cast<std::uint32_t>(file.size()), 4);
        file += images[i];
    }
    return file;
}

struct ReadBack {
    ReadFailure failure;
    ConfigurationBlock block;
};

// The locale chosen for the user is `language`'s.
inline ReadBack readBack(const std::string& bytes, std::uint16_t language) {
    static std::uint16_t chosen;
    chosen = language;
    MemoryFile file{bytes, 0};
    FileReader reader = memoryFileReader(file);
    ReadBack result{locateBlock(reader), {}};
    if (result.failure == ReadFailure::None) {
        const LocaleSource locale{[] { return chosen; }, [](std::uint16_t*) { return false; }};
        result.failure = parseBlock(reader, nullptr, locale, result.block);
    }
    return result;
}

}  // namespace tesmo::tools
