#include "class_file.h"

#include "text.h"

namespace standin::jvm {
namespace {

enum Tag : std::uint8_t {
    kUtf8 = 1,
    kInteger = 3,
    kFloat = 4,
    kLong = 5,
    kDouble = 6,
    kClass = 7,
    kString = 8,
    kFieldref = 9,
    kMethodref = 10,
    kInterfaceMethodref = 11,
    kNameAndType = 12,
    kMethodHandle = 15,
    kMethodType = 16,
    kDynamic = 17,
    kInvokeDynamic = 18,
    kModule = 19,
    kPackage = 20,
};

constexpr std::uint32_t kMagic = 0xCAFEBABE;

struct Failure {
    std::string reason;
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t u1() {
        need(1);
        return bytes_[at_++];
    }
    std::uint16_t u2() {
        need(2);
        auto value = static_cast<std::uint16_t>((bytes_[at_] << 8) | bytes_[at_ + 1]);
        at_ += 2;
        return value;
    }
    std::uint32_t u4() {
        std::uint32_t high = u2();
        return (high << 16) | u2();
    }
    std::string text(std::size_t length) {
        need(length);
        std::string value(reinterpret_cast<const char*>(bytes_.data() + at_), length);
        at_ += length;
        return value;
    }
    void skip(std::size_t length) {
        need(length);
        at_ += length;
    }
    bool atEnd() const { return at_ == bytes_.size(); }

  private:
    void need(std::size_t length) const {
        if (bytes_.size() - at_ < length) throw Failure{"truncated class file"};
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

struct Constant {
    std::uint8_t tag = 0;
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    std::string text;
};

class Pool {
  public:
    void read(Reader& in) {
        std::uint16_t count = in.u2();
        if (count == 0) throw Failure{"constant pool count is zero"};
        entries_.assign(count, Constant{});
        for (std::uint16_t i = 1; i < count; ++i) {
            Constant& c = entries_[i];
            c.tag = in.u1();
            switch (c.tag) {
                case kUtf8:
                    c.text = in.text(in.u2());
                    if (!isModifiedUtf8(c.text))
                        throw Failure{"illegal UTF8 constant " + std::to_string(i)};
                    break;
                case kInteger:
                case kFloat:
                    in.skip(4);
                    break;
                case kLong:
                case kDouble:
                    // Eight-byte constants take two slots; the second is unusable.
                    if (i + 1 >= count)
                        throw Failure{"a long or double constant takes the last slot"};
                    in.skip(8);
                    ++i;
                    break;
                case kClass:
                case kString:
                case kMethodType:
                case kModule:
                case kPackage:
                    c.first = in.u2();
                    break;
                case kFieldref:
                case kMethodref:
                case kInterfaceMethodref:
                case kNameAndType:
                case kDynamic:
                case kInvokeDynamic:
                    c.first = in.u2();
                    c.second = in.u2();
                    break;
                case kMethodHandle:
                    c.first = in.u1();
                    c.second = in.u2();
                    if (c.first < 1 || c.first > 9) throw Failure{"bad method handle kind"};
                    break;
                default:
                    throw Failure{"unknown constant pool tag " + std::to_string(c.tag) + " at " +
                                  std::to_string(i)};
            }
        }
        checkReferences();
    }

    const std::string& utf8(std::uint16_t index) const {
        const Constant& c = entry(index);
        if (c.tag != kUtf8) throw Failure{"constant " + std::to_string(index) + " is not Utf8"};
        return c.text;
    }

    const std::string& className(std::uint16_t index) const {
        const Constant& c = entry(index);
        if (c.tag != kClass) throw Failure{"constant " + std::to_string(index) + " is not a class"};
        return utf8(c.first);
    }

  private:
    const Constant& entry(std::uint16_t index) const {
        if (index == 0 || index >= entries_.size() || entries_[index].tag == 0) {
            throw Failure{"bad constant pool index " + std::to_string(index)};
        }
        return entries_[index];
    }

    void expect(std::uint16_t index, std::uint8_t tag) const {
        if (entry(index).tag != tag)
            throw Failure{"constant " + std::to_string(index) + " has the wrong kind"};
    }

    // What each kind refers to must be of the kind the format prescribes.
    void checkReferences() const {
        for (const Constant& c : entries_) {
            switch (c.tag) {
                case kClass:
                case kString:
                case kMethodType:
                case kModule:
                case kPackage:
                    expect(c.first, kUtf8);
                    break;
                case kFieldref:
                case kMethodref:
                case kInterfaceMethodref:
                    expect(c.first, kClass);
                    expect(c.second, kNameAndType);
                    break;
                case kNameAndType:
                    expect(c.first, kUtf8);
                    expect(c.second, kUtf8);
                    break;
                case kDynamic:
                case kInvokeDynamic:
                    expect(c.second, kNameAndType);
                    break;
                case kMethodHandle: {
                    std::uint8_t target = entry(c.second).tag;
                    bool field = c.first <= 4;
                    if (field ? target != kFieldref
                              : target != kMethodref && target != kInterfaceMethodref) {
                        throw Failure{"a method handle refers to the wrong kind"};
                    }
                    break;
                }
                default:
                    break;
            }
        }
    }

    std::vector<Constant> entries_;
};

void skipAttributes(Reader& in, const Pool& pool) {
    std::uint16_t count = in.u2();
    for (std::uint16_t i = 0; i < count; ++i) {
        pool.utf8(in.u2());
        in.skip(in.u4());
    }
}

ClassFile parse(std::span<const std::uint8_t> bytes) {
    Reader in(bytes);
    if (in.u4() != kMagic) throw Failure{"bad magic number"};
    ClassFile result;
    result.minorVersion = in.u2();
    result.majorVersion = in.u2();
    Pool pool;
    pool.read(in);
    result.access = in.u2();
    result.name = pool.className(in.u2());
    std::uint16_t superIndex = in.u2();
    if (superIndex != 0) result.superName = pool.className(superIndex);
    std::uint16_t interfaceCount = in.u2();
    for (std::uint16_t i = 0; i < interfaceCount; ++i)
        result.interfaces.push_back(pool.className(in.u2()));
    result.fieldCount = in.u2();
    for (std::size_t i = 0; i < result.fieldCount; ++i) {
        in.u2();
        pool.utf8(in.u2());
        pool.utf8(in.u2());
        skipAttributes(in, pool);
    }
    std::uint16_t methodCount = in.u2();
    for (std::uint16_t i = 0; i < methodCount; ++i) {
        MethodInfo method;
        method.access = in.u2();
        method.name = pool.utf8(in.u2());
        method.descriptor = pool.utf8(in.u2());
        skipAttributes(in, pool);
        result.methods.push_back(std::move(method));
    }
    skipAttributes(in, pool);
    if (!in.atEnd()) throw Failure{"extra bytes at the end of the class file"};
    return result;
}

}  // namespace

const MethodInfo* ClassFile::findMethod(std::string_view name, std::string_view descriptor) const {
    for (const auto& method : methods) {
        if (method.name == name && method.descriptor == descriptor) return &method;
    }
    return nullptr;
}

ClassParse parseClassFile(std::span<const std::uint8_t> bytes) {
    ClassParse result;
    try {
        result.classFile = parse(bytes);
    } catch (const Failure& failure) {
        result.error = failure.reason;
    }
    return result;
}

}  // namespace standin::jvm
