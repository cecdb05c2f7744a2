#include <gtest/gtest.h>

#include "jvm/class_file.h"
#include "jvm/fixtures/fixtures.h"

namespace standin::jvm {
namespace {

using fixtures::fixture;
using Bytes = std::vector<std::uint8_t>;

// A class file put together by hand, big-endian as the format is, for the shapes javac
// does not produce.
struct ClassBytes {
    Bytes data;
    void u1(unsigned v) { data.push_back(static_cast<std::uint8_t>(v)); }
    void u2(unsigned v) {
        u1(v >> 8);
        u1(v);
    }
    void u4(std::uint32_t v) {
        u2(v >> 16);
        u2(v & 0xFFFF);
    }
    void utf8(const std::string& text) {
        u1(1);
        u2(static_cast<unsigned>(text.size()));
        for (char c : text) u1(static_cast<unsigned char>(c));
    }
};

// Constant pool: 1 Utf8 "p/Dyn", 2 Class #1, 3 Utf8 "java/lang/Object", 4 Class #3,
// 5 Utf8 "main", 6 Utf8 "([Ljava/lang/String;)V", 7 NameAndType #5 #6, 8 Dynamic 0 #7,
// 9 Long (two slots), 11 Utf8 "Code"; then the class, one field and one static method
// whose attribute has `attributeLength` declared over 2 bytes of content.
Bytes handMade(std::uint32_t attributeLength = 2, unsigned thisClass = 2) {
    ClassBytes c;
    c.u4(0xCAFEBABE);
    c.u2(0);
    c.u2(55);
    c.u2(12);
    c.utf8("p/Dyn");
    c.u1(7), c.u2(1);
    c.utf8("java/lang/Object");
    c.u1(7), c.u2(3);
    c.utf8("main");
    c.utf8("([Ljava/lang/String;)V");
    c.u1(12), c.u2(5), c.u2(6);
    c.u1(17), c.u2(0), c.u2(7);
    c.u1(5), c.u4(1), c.u4(2);
    c.utf8("Code");
    c.u2(kAccPublic);
    c.u2(thisClass);
    c.u2(4);
    c.u2(0);
    c.u2(1);
    c.u2(0), c.u2(5), c.u2(6), c.u2(0);
    c.u2(1);
    c.u2(kAccPublic | kAccStatic), c.u2(5), c.u2(6), c.u2(1);
    c.u2(11), c.u4(attributeLength), c.u2(0xABCD);
    c.u2(0);
    return c.data;
}

ClassFile parsed(const Bytes& bytes) {
    ClassParse result = parseClassFile(bytes);
    if (!result.classFile) throw std::runtime_error("does not parse: " + result.error);
    return *result.classFile;
}

std::string error(const Bytes& bytes) {
    ClassParse result = parseClassFile(bytes);
    EXPECT_FALSE(result.classFile.has_value());
    return result.error;
}

TEST(StandinClassFile, ReadsWhatJavacWrote) {
    ClassFile hello = parsed(fixture("classes/com/example/Hello.class"));
    EXPECT_EQ(hello.majorVersion, 52);
    EXPECT_EQ(hello.name, "com/example/Hello");
    EXPECT_EQ(hello.superName, "java/lang/Object");
    EXPECT_EQ(hello.interfaces, std::vector<std::string>{"java/lang/Runnable"});
    EXPECT_EQ(hello.fieldCount, 5u);
    EXPECT_TRUE(hello.access & kAccPublic);

    const MethodInfo* main = hello.findMethod("main", "([Ljava/lang/String;)V");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->access & (kAccPublic | kAccStatic), kAccPublic | kAccStatic);
    const MethodInfo* overload = hello.findMethod("main", "(I)V");
    ASSERT_NE(overload, nullptr);
    const MethodInfo* firstRun = hello.findMethod("firstRun", "()Z");
    ASSERT_NE(firstRun, nullptr);
    EXPECT_EQ(firstRun->access & (kAccPublic | kAccStatic), kAccStatic);
    const MethodInfo* run = hello.findMethod("run", "()V");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->access & kAccStatic, 0);
    EXPECT_EQ(hello.findMethod("main", "([Ljava/lang/String;)I"), nullptr);
    // The lambda's body is a private static synthetic method.
    bool lambda = false;
    for (const auto& method : hello.methods) lambda |= method.name.starts_with("lambda$main$");
    EXPECT_TRUE(lambda);

    ClassFile instance = parsed(fixture("classes/com/example/InstanceMain.class"));
    EXPECT_EQ(instance.findMethod("main", "([Ljava/lang/String;)V")->access & kAccStatic, 0);
    ClassFile tool = parsed(fixture("classes/com/example/Tool.class"));
    EXPECT_TRUE(tool.access & kAccInterface);
    EXPECT_TRUE(tool.findMethod("main", "([Ljava/lang/String;)V")->access & kAccStatic);
}

TEST(StandinClassFile, ReadsJava17ClassesAndModuleInfo) {
    ClassFile modern = parsed(fixture("modern/com/example/Modern.class"));
    EXPECT_EQ(modern.majorVersion, 61);
    EXPECT_EQ(modern.superName, "java/lang/Record");
    EXPECT_NE(modern.findMethod("main", "([Ljava/lang/String;)V"), nullptr);
    EXPECT_NE(modern.findMethod("name", "()Ljava/lang/String;"), nullptr);

    // Module and Package constants appear only here.
    ClassFile module = parsed(fixture("module/module-info.class"));
    EXPECT_EQ(module.name, "module-info");
    EXPECT_TRUE(module.superName.empty());
    EXPECT_EQ(module.access & 0x8000, 0x8000);
}

TEST(StandinClassFile, ReadsAHandMadeClassWithADynamicConstantAndALong) {
    ClassFile made = parsed(handMade());
    EXPECT_EQ(made.name, "p/Dyn");
    EXPECT_EQ(made.fieldCount, 1u);
    ASSERT_EQ(made.methods.size(), 1u);
    EXPECT_EQ(made.methods[0].name, "main");
}

TEST(StandinClassFile, EveryTruncationIsRefused) {
    for (const char* name : {"classes/com/example/Hello.class", "modern/com/example/Modern.class",
                             "module/module-info.class"}) {
        Bytes whole = fixture(name);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            EXPECT_EQ(error(Bytes(whole.begin(), whole.begin() + length)), "truncated class file")
                << name << " cut to " << length;
        }
    }
}

TEST(StandinClassFile, RefusesMalformedClassFiles) {
    Bytes hello = fixture("classes/com/example/Hello.class");
    {
        Bytes b = hello;
        b[0] = 0xCB;
        EXPECT_EQ(error(b), "bad magic number");
    }
    {
        Bytes b = hello;
        b.push_back(0);
        EXPECT_EQ(error(b), "extra bytes at the end of the class file");
    }
    {
        // The first constant's tag.
        Bytes b = hello;
        b[10] = 2;
        EXPECT_EQ(error(b), "unknown constant pool tag 2 at 1");
    }
    {
        Bytes b = hello;
        b[8] = 0;
        b[9] = 0;
        EXPECT_EQ(error(b), "constant pool count is zero");
    }
    EXPECT_EQ(error(handMade(0x7FFFFFFF)), "truncated class file");
    EXPECT_EQ(error(handMade(2, 3)), "constant 3 is not a class");
    EXPECT_EQ(error(handMade(2, 10)), "bad constant pool index 10");
    EXPECT_EQ(error(handMade(2, 40)), "bad constant pool index 40");
    {
        // The Utf8 "p/Dyn" with a NUL byte, which modified UTF-8 never holds.
        Bytes b = handMade();
        b[14] = 0;
        EXPECT_EQ(error(b), "illegal UTF8 constant 1");
    }
    {
        // The Dynamic constant's NameAndType index pointing at a Utf8.
        Bytes b = handMade();
        std::size_t dynamic = 10 + 8 + 3 + 19 + 3 + 7 + 25 + 5;
        ASSERT_EQ(b[dynamic], 17);
        b[dynamic + 4] = 5;
        EXPECT_EQ(error(b), "constant 5 has the wrong kind");
    }
    {
        // A pool that ends with the long: its second half would lie beyond the pool.
        Bytes b = handMade();
        b[9] = 10;
        EXPECT_EQ(error(b), "a long or double constant takes the last slot");
    }
}

}  // namespace
}  // namespace standin::jvm
