#include <gtest/gtest.h>

#include <functional>

#include "jvm/vm.h"
#include "standin_vm_support.h"

namespace standin::jvm {
namespace {

using fixtures::fixture;
using testing::Fatal;
using testing::TestHost;

constexpr std::uint32_t kMain = 100;
constexpr std::uint32_t kSplash = 200;
constexpr std::string_view kMainDescriptor = "([Ljava/lang/String;)V";

CreateArguments arguments(std::vector<std::string> options, bool ignore = true) {
    CreateArguments made;
    made.present = true;
    made.version = kJniVersion1_2;
    made.optionCount = static_cast<std::int32_t>(options.size());
    made.optionsPresent = !options.empty();
    for (auto& option : options) made.options.emplace_back(std::move(option));
    made.ignoreUnrecognized = ignore;
    return made;
}

// The value of a member as JSON text, or "<none>".
std::string member(const Json& object, std::string_view key) {
    const Json* found = object.find(key);
    return found != nullptr ? found->dump() : "<none>";
}

class StandinVm : public ::testing::Test {
  protected:
    StandinVm() : vm(host, 1234, u"C:\\jre\\bin\\server\\jvm.dll") {
        host.memory.addTree("classes/", u"C:\\app\\classes");
        host.memory.files[u"C:\\app\\app.jar"] = fixture("deflated.jar");
        host.memory.files[u"C:\\app\\modern.jar"] = fixture("stored.jar");
    }

    int create(std::vector<std::string> options, bool ignore = true) {
        return vm.create(arguments(std::move(options), ignore), kMain);
    }
    void createWith(std::string classPath, std::vector<std::string> more = {}) {
        more.push_back("-Djava.class.path=" + classPath);
        ASSERT_EQ(create(more), kJniOk) << utf16ToUtf8(host.errors);
    }

    const Json& document() const { return vm.record().document(); }
    const Json& events() const { return *document().find("events"); }
    const Json& last() const { return events().at(events().size() - 1); }
    std::string lastCall() const { return member(last(), "call"); }

    // What a launcher does to call main: a String[] of `args` passed to CLASS.main.
    Vm::CallResult callMain(const char* cls, const std::vector<std::u16string>& args,
                            std::uint32_t thread = kMain) {
        Ref string = vm.findClass(thread, "java/lang/String");
        Ref array = vm.newObjectArray(thread, static_cast<std::int32_t>(args.size()), string, 0);
        for (std::size_t i = 0; i < args.size(); ++i) {
            vm.setObjectArrayElement(thread, array, static_cast<std::int32_t>(i),
                                     vm.newString(thread, args[i]));
        }
        Ref main = vm.findClass(thread, cls);
        MethodRef method = vm.getStaticMethodId(thread, main, "main", kMainDescriptor.data());
        return vm.callStatic(thread, Vm::CallKind::Void, main, method, array);
    }

    // The pending exception as "class: message", described and so cleared.
    std::string describe(std::uint32_t thread = kMain) {
        host.errors.clear();
        vm.exceptionDescribe(thread);
        return utf16ToUtf8(host.errors);
    }

    TestHost host;
    Vm vm;
};

// ---------------------------------------------------------------------------------------
// Creation

TEST_F(StandinVm, ChecksTheInitArgsBeforeAnything) {
    struct Case {
        std::function<void(CreateArguments&)> change;
        int result;
        std::string problem;
    };
    std::vector<Case> cases = {
        {[](CreateArguments& a) { a.present = false; }, kJniErr, "no JavaVMInitArgs"},
        {[](CreateArguments& a) { a.version = kJniVersion1_1; }, kJniVersionError,
         "unsupported JNI version 0x10001"},
        {[](CreateArguments& a) { a.version = 0x00150000; }, kJniVersionError,
         "unsupported JNI version 0x150000"},
        {[](CreateArguments& a) { a.optionCount = -1; }, kJniInvalid, "nOptions is negative"},
        {[](CreateArguments& a) { a.optionsPresent = false; }, kJniInvalid, "options is null"},
        {[](CreateArguments& a) { a.options[1].reset(); }, kJniInvalid, "optionString 1 is null"},
    };
    for (const auto& check : cases) {
        TestHost freshHost;
        Vm fresh(freshHost, 1, u"jvm.dll");
        CreateArguments given = arguments({"-Xss1m", "-Dx=y"});
        check.change(given);
        EXPECT_EQ(fresh.create(given, kMain), check.result) << check.problem;
        const Json& call = fresh.record().document().find("events")->at(0);
        EXPECT_EQ(member(call, "problem"), "\"" + check.problem + "\"");
        EXPECT_EQ(member(fresh.record().document(), "created"), "false");
        EXPECT_EQ(member(fresh.record().document(), "createResult"), std::to_string(check.result));
        EXPECT_FALSE(fresh.running());
    }
    for (std::int32_t version :
         {0x00010002, 0x00010004, 0x00010006, 0x00010008, 0x00090000, 0x000a0000}) {
        TestHost freshHost;
        Vm fresh(freshHost, 1, u"jvm.dll");
        CreateArguments given = arguments({});
        given.version = version;
        EXPECT_EQ(fresh.create(given, kMain), kJniOk) << version;
    }
}

TEST_F(StandinVm, RecordsTheArgumentsExactly) {
    // Bytes above 0x7F are recorded as the characters of the same number.
    createWith("C:\\app\\classes;;C:\\app\\app.jar;", {"-Xmx512m", "-Dname=caf\xE9 \x80"});
    EXPECT_EQ(member(document(), "pid"), "1234");
    EXPECT_EQ(member(document(), "dll"), "\"C:\\\\jre\\\\bin\\\\server\\\\jvm.dll\"");
    EXPECT_EQ(member(document(), "version"), "65538");
    EXPECT_EQ(member(document(), "ignoreUnrecognized"), "true");
    EXPECT_EQ(member(document(), "options"),
              "[\"-Xmx512m\", \"-Dname=caf\xC3\xA9 \xC2\x80\", "
              "\"-Djava.class.path=C:\\\\app\\\\classes;;C:\\\\app\\\\app.jar;\"]");
    EXPECT_EQ(member(document(), "classPath"),
              "[\"C:\\\\app\\\\classes\", \"C:\\\\app\\\\app.jar\"]");
    EXPECT_EQ(member(document(), "created"), "true");
    EXPECT_EQ(member(document(), "createResult"), "0");
    EXPECT_EQ(member(last(), "call"), "\"JNI_CreateJavaVM\"");
    EXPECT_EQ(member(last(), "thread"), std::to_string(kMain));
    // Every event reaches the host at once.
    EXPECT_EQ(host.persisted, vm.record().text());
}

TEST_F(StandinVm, TheLastClassPathOptionCounts) {
    createWith("C:\\first", {"-Djava.class.path=C:\\app\\app.jar"});
    EXPECT_EQ(member(document(), "classPath"), "[\"C:\\\\first\"]");
    EXPECT_EQ(vm.findClass(kMain, "com/example/Hello"), 0u);
}

TEST_F(StandinVm, FailsCreationOnDemandAsAVmWould) {
    struct Case {
        std::vector<std::string> options;
        bool ignore;
        int result;
        std::string stderrText;
    };
    std::vector<Case> cases = {
        {{"-Xmx64g"}, true, kJniOk, ""},
        {{"-Xmx65537m"},
         true,
         kJniNoMemory,
         "Error occurred during initialization of VM\r\nCould not reserve enough space for object "
         "heap\r\n"},
        {{"-Xmx100g", "-Xmx1g"}, true, kJniOk, ""},
        {{"-Xmx1g", "-Xmx1t"},
         true,
         kJniNoMemory,
         "Error occurred during initialization of VM\r\nCould not reserve enough space for object "
         "heap\r\n"},
        {{"-Xmx12q"}, true, kJniInvalid, "Invalid maximum heap size: -Xmx12q\r\n"},
        {{"-Dstandin.create=fail"}, true, kJniErr, ""},
        {{"-Dstandin.create=fail", "-Dstandin.create=ok"}, true, kJniOk, ""},
        {{"-Dstandin.main=dance"},
         true,
         kJniInvalid,
         "Error: the stand-in does not know this behaviour: -Dstandin.main=dance\r\n"},
        {{"-Dstandin.firstRun=maybe"},
         true,
         kJniInvalid,
         "Error: the stand-in does not know this behaviour: -Dstandin.firstRun=maybe\r\n"},
        {{"-Dstandin.create=later"},
         true,
         kJniInvalid,
         "Error: the stand-in does not know this behaviour: -Dstandin.create=later\r\n"},
        {{"-splash:image.png", "-Xfoo", "--add-opens=a/b=ALL-UNNAMED", "exit", "-ea:com.x..."},
         true,
         kJniOk,
         ""},
        {{"-Xfoo", "--add-opens=a/b=ALL-UNNAMED", "vfprintf", "-verbose:gc", "-XX:+UseG1GC"},
         false,
         kJniOk,
         ""},
        {{"-Xss1m", "-splash:image.png"},
         false,
         kJniErr,
         "Unrecognized option: -splash:image.png\r\n"},
    };
    for (const auto& check : cases) {
        TestHost freshHost;
        Vm fresh(freshHost, 1, u"jvm.dll");
        EXPECT_EQ(fresh.create(arguments(check.options, check.ignore), kMain), check.result)
            << check.options[0];
        EXPECT_EQ(utf16ToUtf8(freshHost.errors), check.stderrText) << check.options[0];
    }
}

TEST_F(StandinVm, ASecondVmIsRefusedAndAFailedOneCanBeRetried) {
    EXPECT_EQ(create({"-Dstandin.create=fail", "-Dfirst"}), kJniErr);
    EXPECT_EQ(member(document(), "options"), "[\"-Dstandin.create=fail\", \"-Dfirst\"]");
    createWith("C:\\app\\classes");
    EXPECT_EQ(create({"-Dsecond"}), kJniExists);
    EXPECT_EQ(member(last(), "problem"), "\"a VM was created in this process before\"");
    EXPECT_EQ(member(document(), "createResult"), "0");
    EXPECT_EQ(member(document(), "options"), "[\"-Djava.class.path=C:\\\\app\\\\classes\"]");
    vm.destroy(kMain);
    EXPECT_EQ(create({}), kJniExists);
}

TEST(StandinVmOptions, ParsesSizesAndBehaviours) {
    EXPECT_EQ(parseMemorySize("0"), 0u);
    EXPECT_EQ(parseMemorySize("1024"), 1024u);
    EXPECT_EQ(parseMemorySize("8k"), 8u << 10);
    EXPECT_EQ(parseMemorySize("8K"), 8u << 10);
    EXPECT_EQ(parseMemorySize("512m"), 512ull << 20);
    EXPECT_EQ(parseMemorySize("64G"), 64ull << 30);
    EXPECT_EQ(parseMemorySize("2t"), 2ull << 40);
    EXPECT_EQ(parseMemorySize("16777215t"), 16777215ull << 40);
    for (const char* bad : {"", "m", "1.5g", "-1g", "12kb", "16777216t", "99999999999999999999"}) {
        EXPECT_FALSE(parseMemorySize(bad).has_value()) << bad;
    }

    auto main = [](std::string_view text) { return parseMainBehaviour(text); };
    EXPECT_EQ(main("return")->kind, MainBehaviour::Kind::Return);
    EXPECT_EQ(main("throw:java.lang.IllegalStateException")->exceptionClass,
              "java/lang/IllegalStateException");
    EXPECT_EQ(main("exit:-3")->value, -3);
    EXPECT_EQ(main("exit:2147483647")->value, 2147483647);
    EXPECT_EQ(main("window:250")->kind, MainBehaviour::Kind::Window);
    EXPECT_EQ(main("sleep:0")->kind, MainBehaviour::Kind::Sleep);
    EXPECT_EQ(main("sleep:86400000")->value, 86400000);
    for (const char* bad : {"", "throw:", "exit:", "exit:x", "exit:2147483648", "window:-1",
                            "sleep:86400001", "sleep:1s", "Return"}) {
        EXPECT_FALSE(main(bad).has_value()) << bad;
    }
    EXPECT_EQ(parseFirstRunBehaviour("false")->kind, FirstRunBehaviour::Kind::False);
    EXPECT_EQ(parseFirstRunBehaviour("throw")->exceptionClass, "java/lang/IllegalStateException");
    EXPECT_EQ(parseFirstRunBehaviour("throw:a.B")->exceptionClass, "a/B");
    EXPECT_FALSE(parseFirstRunBehaviour("throw:").has_value());
    EXPECT_FALSE(parseFirstRunBehaviour("yes").has_value());

    auto script = parseSplashScript("2:Loading: data;until:C:\\go;2:;1;-7");
    ASSERT_TRUE(script.has_value());
    ASSERT_EQ(script->size(), 5u);
    EXPECT_EQ((*script)[0].action, 2);
    EXPECT_EQ((*script)[0].text, "Loading: data");
    EXPECT_EQ((*script)[1].kind, SplashStep::Kind::UntilFile);
    EXPECT_EQ((*script)[1].path, "C:\\go");
    EXPECT_FALSE((*script)[2].text.has_value());
    EXPECT_EQ((*script)[3].action, 1);
    EXPECT_EQ((*script)[4].action, -7);
    EXPECT_TRUE(parseSplashScript("")->empty());
    for (const char* bad : {"x", "2;;1", "until:", "2x:text", ":text"}) {
        EXPECT_FALSE(parseSplashScript(bad).has_value()) << bad;
    }
}

// ---------------------------------------------------------------------------------------
// Classes and methods

TEST_F(StandinVm, FindsClassesOnTheClassPathAndInTheBootstrapSet) {
    createWith("C:\\app\\app.jar;C:\\app\\classes");
    Ref fromJar = vm.findClass(kMain, "com/example/Hello");
    EXPECT_NE(fromJar, 0u);
    EXPECT_EQ(member(last(), "from"), "\"C:\\\\app\\\\app.jar\"");
    EXPECT_EQ(member(last(), "found"), "true");
    EXPECT_FALSE(vm.exceptionCheck(kMain));
    // Each lookup is a new local reference to the same class.
    EXPECT_NE(vm.findClass(kMain, "com/example/Hello"), fromJar);
    for (const char* bootstrap : {"java/lang/String", "java/lang/Object", "java/lang/Throwable",
                                  "java/lang/NoClassDefFoundError", "[Ljava/lang/String;", "[[I"}) {
        EXPECT_NE(vm.findClass(kMain, bootstrap), 0u) << bootstrap;
        EXPECT_EQ(member(last(), "from"), "\"bootstrap\"") << bootstrap;
    }
    EXPECT_NE(vm.findClass(kMain, "[Lcom/example/Hello;"), 0u);
}

TEST_F(StandinVm, AMissingClassLeavesANoClassDefFoundError) {
    createWith("C:\\app\\classes;C:\\app\\missing.jar");
    struct Case {
        const char* name;
        std::string message;
    };
    for (const Case& check : {Case{"com/example/Missing", "com/example/Missing"},
                              Case{"com.example.Hello", "com.example.Hello"},
                              Case{"java/util/ArrayList", "java/util/ArrayList"},
                              Case{"[Lcom/example/Missing;", "com/example/Missing"},
                              Case{"[X", "[X"}, Case{"[L;", "[L;"}, Case{"[[", "[["}}) {
        EXPECT_EQ(vm.findClass(kMain, check.name), 0u) << check.name;
        EXPECT_EQ(member(last(), "found"), "false");
        EXPECT_EQ(member(last(), "exception"), "\"java.lang.NoClassDefFoundError\"");
        EXPECT_TRUE(vm.exceptionCheck(kMain));
        EXPECT_EQ(describe(), "Exception in thread \"main\" java.lang.NoClassDefFoundError: " +
                                  check.message + "\r\n");
        EXPECT_FALSE(vm.exceptionCheck(kMain));
    }
    vm.findClass(kMain, "com/example/Missing");
    EXPECT_EQ(member(events().at(events().size() - 1), "classPathProblems"),
              "[{\"entry\": \"C:\\\\app\\\\missing.jar\", \"problem\": \"not found\"}]");
    vm.exceptionClear(kMain);
    EXPECT_EQ(vm.findClass(kMain, nullptr), 0u);
    EXPECT_EQ(
        describe(),
        "Exception in thread \"main\" java.lang.NoClassDefFoundError: No class name given\r\n");
}

TEST_F(StandinVm, ClassFilesThatAreNotWhatTheyClaimFailAsInAVm) {
    auto& files = host.memory.files;
    files[u"C:\\bad\\com\\example\\Hello.class"] = fixture("classes/com/example/NoMain.class");
    std::vector<std::uint8_t> future = fixture("classes/com/example/Tool.class");
    future[7] = 65;
    files[u"C:\\bad\\com\\example\\Tool.class"] = future;
    files[u"C:\\bad\\com\\example\\Junk.class"] = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0};
    host.memory.directories.insert(u"C:\\bad");
    createWith("C:\\bad");
    EXPECT_EQ(vm.findClass(kMain, "com/example/Hello"), 0u);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.NoClassDefFoundError: "
              "com/example/Hello (wrong name: com/example/NoMain)\r\n");
    EXPECT_EQ(vm.findClass(kMain, "com/example/Tool"), 0u);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.UnsupportedClassVersionError: "
              "com.example.Tool has been compiled by a more recent version of the Java Runtime "
              "(class file version 65.0), this version of the Java Runtime only recognizes class "
              "file versions up to 61.0\r\n");
    EXPECT_EQ(vm.findClass(kMain, "com/example/Junk"), 0u);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.ClassFormatError: "
              "truncated class file in class file com/example/Junk\r\n");
}

TEST_F(StandinVm, StaticMethodsAreFoundByNameAndExactDescriptor) {
    createWith("C:\\app\\classes");
    Ref hello = vm.findClass(kMain, "com/example/Hello");
    MethodRef main = vm.getStaticMethodId(kMain, hello, "main", kMainDescriptor.data());
    EXPECT_NE(main, 0u);
    EXPECT_EQ(member(last(), "class"), "\"com.example.Hello\"");
    EXPECT_EQ(member(last(), "found"), "true");
    // The same method, the same ID; an overload is another method.
    EXPECT_EQ(vm.getStaticMethodId(kMain, hello, "main", kMainDescriptor.data()), main);
    MethodRef overload = vm.getStaticMethodId(kMain, hello, "main", "(I)V");
    EXPECT_NE(overload, 0u);
    EXPECT_NE(overload, main);
    // JNI ignores access: a package-private static method is found.
    EXPECT_NE(vm.getStaticMethodId(kMain, hello, "firstRun", "()Z"), 0u);
    EXPECT_EQ(vm.methodDescriptor(kMain, "test", overload), "(I)V");
    EXPECT_FALSE(vm.exceptionCheck(kMain));

    struct Case {
        const char* cls;
        const char* name;
        const char* signature;
    };
    for (const Case& check : {Case{"com/example/Hello", "run", "()V"},
                              Case{"com/example/Hello", "main", "([Ljava/lang/String;)I"},
                              Case{"com/example/Hello", "<clinit>", "()V"},
                              Case{"com/example/InstanceMain", "main", "([Ljava/lang/String;)V"},
                              Case{"java/lang/String", "valueOf", "(I)Ljava/lang/String;"}}) {
        Ref cls = vm.findClass(kMain, check.cls);
        EXPECT_EQ(vm.getStaticMethodId(kMain, cls, check.name, check.signature), 0u) << check.name;
        EXPECT_EQ(member(last(), "found"), "false");
        EXPECT_EQ(
            describe(),
            std::string("Exception in thread \"main\" java.lang.NoSuchMethodError: static L") +
                check.cls + ";." + check.name + check.signature + "\r\n");
    }
}

// ---------------------------------------------------------------------------------------
// Calls

TEST_F(StandinVm, MainRecordsTheArgumentArrayExactly) {
    createWith("C:\\app\\classes");
    std::u16string lone = u"half ";
    lone += char16_t(0xD800);
    std::vector<std::u16string> args = {u"", u"two words", u"tab\there \"quoted\"",
                                        u"\u00e9\u65e5\U0001F600", lone};
    Vm::CallResult result = callMain("com/example/Hello", args);
    EXPECT_EQ(result.action.kind, Action::Kind::None);
    EXPECT_EQ(lastCall(), "\"main\"");
    EXPECT_EQ(member(last(), "class"), "\"com.example.Hello\"");
    EXPECT_EQ(member(last(), "args"),
              "[\"\", \"two words\", \"tab\\there \\\"quoted\\\"\", "
              "\"\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80\", \"half \\ud800\"]");
    EXPECT_EQ(member(last(), "behaviour"), "\"return\"");
    EXPECT_EQ(member(last(), "application"), "<none>");
    EXPECT_EQ(member(last(), "returned"), "false");
    vm.callReturned(kMain);
    EXPECT_EQ(member(last(), "returned"), "true");
    EXPECT_FALSE(vm.exceptionCheck(kMain));

    // A null array and null elements are recorded as null.
    Ref cls = vm.findClass(kMain, "com/example/Hello");
    MethodRef main = vm.getStaticMethodId(kMain, cls, "main", kMainDescriptor.data());
    vm.callStatic(kMain, Vm::CallKind::Void, cls, main, 0);
    EXPECT_EQ(member(last(), "args"), "null");
    Ref string = vm.findClass(kMain, "java/lang/String");
    vm.callStatic(kMain, Vm::CallKind::Void, cls, main, vm.newObjectArray(kMain, 2, string, 0));
    EXPECT_EQ(member(last(), "args"), "[null, null]");
}

TEST_F(StandinVm, TheWrapperChecksTheApplicationClassFirst) {
    createWith("C:\\app\\classes");
    struct Case {
        std::vector<std::u16string> args;
        std::string application;
        std::string check;
        std::string exception;
    };
    std::vector<Case> cases = {
        {{u"config", u"com.example.Hello", u"x"}, "\"com.example.Hello\"", "ok", ""},
        {{u"config", u"com.example.Tool"}, "\"com.example.Tool\"", "ok", ""},
        {{u"config", u"com.example.Gone"},
         "\"com.example.Gone\"",
         "the application class com.example.Gone is not on the class path",
         "java.lang.ClassNotFoundException: com.example.Gone"},
        {{u"config", u"com.example.NoMain"},
         "\"com.example.NoMain\"",
         "the application class com.example.NoMain declares no public static void main(String[])",
         "java.lang.NoSuchMethodError: public static void main(String[]) not found in "
         "com.example.NoMain"},
        {{u"config", u"com.example.InstanceMain"},
         "\"com.example.InstanceMain\"",
         "the application class com.example.InstanceMain declares no public static void "
         "main(String[])",
         "java.lang.NoSuchMethodError: public static void main(String[]) not found in "
         "com.example.InstanceMain"},
        {{u"config", u"com.example.PrivateMain"},
         "\"com.example.PrivateMain\"",
         "the application class com.example.PrivateMain declares no public static void "
         "main(String[])",
         "java.lang.NoSuchMethodError: public static void main(String[]) not found in "
         "com.example.PrivateMain"},
        {{u"config"},
         "null",
         "the argument array has no element 1",
         "java.lang.ArrayIndexOutOfBoundsException: Index 1 out of bounds for length 1"},
    };
    for (const char* wrapper :
         {"com/tesmo/runtime/WinLauncher", "com/korvane/runtime/launcher/WinLauncher"}) {
        for (const auto& check : cases) {
            callMain(wrapper, check.args);
            EXPECT_EQ(member(last(), "application"), check.application) << wrapper;
            EXPECT_EQ(member(last(), "check"), "\"" + check.check + "\"") << wrapper;
            EXPECT_EQ(member(last(), "behaviour"),
                      check.exception.empty() ? "\"return\"" : "<none>");
            if (check.exception.empty()) {
                EXPECT_FALSE(vm.exceptionCheck(kMain)) << check.check;
            } else {
                EXPECT_EQ(describe(), "Exception in thread \"main\" " + check.exception + "\r\n");
            }
            vm.callReturned(kMain);
        }
    }
}

TEST_F(StandinVm, MainBehavesAsTheOptionsSay) {
    struct Case {
        std::string option;
        Action::Kind action;
        std::int64_t value;
        std::string exception;
    };
    for (const Case& check : {Case{"throw:com.example.AppError", Action::Kind::None, 0,
                                   "com.example.AppError: thrown by the stand-in"},
                              Case{"exit:7", Action::Kind::Exit, 7, ""},
                              Case{"window:300", Action::Kind::Window, 300, ""},
                              Case{"sleep:25", Action::Kind::Sleep, 25, ""}}) {
        TestHost freshHost;
        freshHost.memory.addTree("classes/", u"C:\\app\\classes");
        Vm fresh(freshHost, 1, u"jvm.dll");
        ASSERT_EQ(fresh.create(arguments({"-Djava.class.path=C:\\app\\classes",
                                          "-Dstandin.main=" + check.option}),
                               kMain),
                  kJniOk);
        Ref string = fresh.findClass(kMain, "java/lang/String");
        Ref array = fresh.newObjectArray(kMain, 2, string, 0);
        fresh.setObjectArrayElement(kMain, array, 1, fresh.newString(kMain, u"com.example.Hello"));
        Ref cls = fresh.findClass(kMain, "com/tesmo/runtime/WinLauncher");
        MethodRef main = fresh.getStaticMethodId(kMain, cls, "main", kMainDescriptor.data());
        Vm::CallResult result = fresh.callStatic(kMain, Vm::CallKind::Void, cls, main, array);
        EXPECT_EQ(result.action.kind, check.action) << check.option;
        EXPECT_EQ(result.action.value, check.value) << check.option;
        const Json& call =
            fresh.record().document().find("events")->at(fresh.record().eventCount() - 1);
        EXPECT_EQ(member(call, "behaviour"), "\"" + check.option + "\"");
        EXPECT_EQ(member(call, "check"), "\"ok\"");
        EXPECT_EQ(member(call, "exception"),
                  check.exception.empty() ? "<none>" : "\"com.example.AppError\"");
        freshHost.errors.clear();
        fresh.exceptionDescribe(kMain);
        EXPECT_EQ(utf16ToUtf8(freshHost.errors),
                  check.exception.empty()
                      ? ""
                      : "Exception in thread \"main\" " + check.exception + "\r\n");
        if (check.action == Action::Kind::Exit) {
            fresh.recordExit(kMain, check.value);
            EXPECT_EQ(fresh.record()
                          .document()
                          .find("events")
                          ->at(fresh.record().eventCount() - 1)
                          .dump(),
                      "{\"call\": \"exit\", \"thread\": 100, \"code\": 7}");
        }
        if (check.action == Action::Kind::Window) {
            fresh.callReturned(kMain, true);
            const Json& returned =
                fresh.record().document().find("events")->at(fresh.record().eventCount() - 1);
            EXPECT_EQ(member(returned, "windowShown"), "true");
            EXPECT_EQ(member(returned, "returned"), "true");
        }
        EXPECT_EQ(freshHost.persisted, fresh.record().text());
    }
}

TEST_F(StandinVm, MainWaitsForItsFileBeforeItsBehaviour) {
    createWith("C:\\app\\classes",
               {"-Dstandin.mainWait=C:\\run\\go", "-Dstandin.main=throw:com.example.Late"});
    Vm::CallResult result = callMain("com/tesmo/runtime/WinLauncher", {u"x", u"com.example.Hello"});
    EXPECT_EQ(result.action.waitFor, "C:\\run\\go");
    EXPECT_EQ(result.action.kind, Action::Kind::None);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" com.example.Late: thrown by the stand-in\r\n");
    EXPECT_EQ(create({"-Dstandin.mainWait="}), kJniExists);
    TestHost freshHost;
    Vm fresh(freshHost, 1, u"jvm.dll");
    EXPECT_EQ(fresh.create(arguments({"-Dstandin.mainWait="}), kMain), kJniInvalid);
}

TEST_F(StandinVm, FirstRunAnswersAsTheOptionSays) {
    struct Case {
        const char* option;
        bool value;
        std::string result;
        std::string exception;
    };
    for (const Case& check :
         {Case{"", true, "true", ""}, Case{"-Dstandin.firstRun=false", false, "false", ""},
          Case{"-Dstandin.firstRun=throw", false, "null",
               "java.lang.IllegalStateException: thrown by the stand-in"},
          Case{"-Dstandin.firstRun=throw:java.lang.Error", false, "null",
               "java.lang.Error: thrown by the stand-in"}}) {
        TestHost freshHost;
        freshHost.memory.files[u"app.jar"] = fixture("deflated.jar");
        Vm fresh(freshHost, 1, u"jvm.dll");
        std::vector<std::string> options = {"-Djava.class.path=app.jar"};
        if (*check.option) options.push_back(check.option);
        ASSERT_EQ(fresh.create(arguments(options), kMain), kJniOk);
        Ref cls = fresh.findClass(kMain, "com/korvane/runtime/launcher/FirstRun");
        MethodRef method = fresh.getStaticMethodId(kMain, cls, "firstRun", "()Z");
        Vm::CallResult result = fresh.callStatic(kMain, Vm::CallKind::Boolean, cls, method, 0);
        EXPECT_EQ(result.value, check.value) << check.option;
        EXPECT_EQ(result.action.kind, Action::Kind::None);
        const Json& call =
            fresh.record().document().find("events")->at(fresh.record().eventCount() - 1);
        EXPECT_EQ(member(call, "call"), "\"firstRun\"");
        EXPECT_EQ(member(call, "class"), "\"com.korvane.runtime.launcher.FirstRun\"");
        EXPECT_EQ(member(call, "result"), check.result);
        freshHost.errors.clear();
        fresh.exceptionDescribe(kMain);
        EXPECT_EQ(utf16ToUtf8(freshHost.errors),
                  check.exception.empty()
                      ? ""
                      : "Exception in thread \"main\" " + check.exception + "\r\n");
    }
}

TEST_F(StandinVm, OtherStaticMethodsAreRecordedAndMismatchedCallsWarned) {
    createWith("C:\\app\\classes");
    Ref hello = vm.findClass(kMain, "com/example/Hello");
    MethodRef overload = vm.getStaticMethodId(kMain, hello, "main", "(I)V");
    vm.callStatic(kMain, Vm::CallKind::Void, hello, overload, 0);
    EXPECT_EQ(lastCall(), "\"CallStaticMethod\"");
    EXPECT_EQ(member(last(), "name"), "\"main\"");
    EXPECT_EQ(member(last(), "signature"), "\"(I)V\"");
    MethodRef firstRun = vm.getStaticMethodId(kMain, hello, "firstRun", "()Z");
    vm.callStatic(kMain, Vm::CallKind::Void, hello, firstRun, 0);
    EXPECT_EQ(member(events().at(events().size() - 2), "message"), "\"the method returns Z\"");
}

// ---------------------------------------------------------------------------------------
// Objects and exceptions

TEST_F(StandinVm, ArraysAndStringsBehaveAsJavasDo) {
    createWith("C:\\app\\classes");
    Ref string = vm.findClass(kMain, "java/lang/String");
    Ref text = vm.newString(kMain, std::u16string(u"a\0b\U0001F600", 5));
    EXPECT_EQ(vm.stringLength(kMain, text), 5);
    Ref array = vm.newObjectArray(kMain, 3, string, text);
    EXPECT_EQ(vm.arrayLength(kMain, array), 3);
    vm.setObjectArrayElement(kMain, array, 2, 0);
    EXPECT_FALSE(vm.exceptionCheck(kMain));

    for (std::int32_t index : {3, -1}) {
        vm.setObjectArrayElement(kMain, array, index, text);
        EXPECT_EQ(describe(),
                  "Exception in thread \"main\" java.lang.ArrayIndexOutOfBoundsException: Index " +
                      std::to_string(index) + " out of bounds for length 3\r\n");
    }
    vm.setObjectArrayElement(kMain, array, 0, string);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.ArrayStoreException: type mismatch: "
              "can not store java.lang.Class to java.lang.String[0]\r\n");
    Ref object = vm.findClass(kMain, "java/lang/Object");
    Ref objects = vm.newObjectArray(kMain, 1, object, 0);
    vm.setObjectArrayElement(kMain, objects, 0, string);
    EXPECT_FALSE(vm.exceptionCheck(kMain));

    EXPECT_EQ(vm.newObjectArray(kMain, -2, string, 0), 0u);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.NegativeArraySizeException: -2\r\n");
    EXPECT_EQ(vm.newObjectArray(kMain, 0x7FFFFFFF, string, 0), 0u);
    EXPECT_EQ(describe(),
              "Exception in thread \"main\" java.lang.OutOfMemoryError: Java heap space\r\n");
    EXPECT_EQ(vm.getVersion(kMain), kJniVersion10);
}

TEST_F(StandinVm, ExceptionsArePerThreadUntilClearedOrDescribed) {
    createWith("C:\\app\\classes");
    ASSERT_EQ(vm.attach(kSplash, false, kJniVersion1_2, "splash"), kJniOk);
    EXPECT_EQ(vm.exceptionOccurred(kMain), 0u);
    vm.findClass(kMain, "no/Such");
    EXPECT_TRUE(vm.exceptionCheck(kMain));
    EXPECT_FALSE(vm.exceptionCheck(kSplash));
    Ref thrown = vm.exceptionOccurred(kMain);
    EXPECT_NE(thrown, 0u);
    EXPECT_NE(vm.exceptionOccurred(kMain), thrown);
    vm.deleteLocalRef(kMain, thrown);
    vm.exceptionClear(kMain);
    EXPECT_FALSE(vm.exceptionCheck(kMain));
    EXPECT_EQ(describe(), "");

    vm.findClass(kSplash, "no/Other");
    EXPECT_EQ(describe(kSplash),
              "Exception in thread \"splash\" java.lang.NoClassDefFoundError: no/Other\r\n");
    EXPECT_EQ(lastCall(), "\"ExceptionDescribe\"");
    EXPECT_EQ(member(last(), "exception"), "\"java.lang.NoClassDefFoundError\"");
    EXPECT_EQ(member(last(), "message"), "\"no/Other\"");
    EXPECT_EQ(member(last(), "thread"), std::to_string(kSplash));

    // JNI allows only the exception functions while one is pending.
    vm.findClass(kMain, "no/Such");
    vm.findClass(kMain, "java/lang/String");
    EXPECT_EQ(events().at(events().size() - 2).dump(),
              "{\"call\": \"warning\", \"thread\": 100, \"function\": \"FindClass\", "
              "\"message\": \"called with an exception pending\"}");
}

TEST_F(StandinVm, MisuseEndsAtOnceNamingTheFunction) {
    createWith("C:\\app\\classes");
    Ref string = vm.findClass(kMain, "java/lang/String");
    Ref text = vm.newString(kMain, u"x");
    ASSERT_EQ(vm.attach(kSplash, true, 0, nullptr), kJniOk);
    auto fatal = [&](auto call) -> std::string {
        try {
            call();
        } catch (const Fatal& failure) {
            EXPECT_EQ(lastCall(), "\"fatal\"");
            EXPECT_EQ(member(last(), "message"), "\"" + std::string(failure.what()) + "\"");
            return failure.what();
        }
        ADD_FAILURE() << "no failure";
        return "";
    };
    EXPECT_EQ(fatal([&] { vm.arrayLength(kMain, text); }),
              "GetArrayLength: reference 0x2 is not an array");
    EXPECT_EQ(fatal([&] { vm.stringLength(kMain, 0); }),
              "GetStringLength: null where a string is required");
    EXPECT_EQ(fatal([&] { vm.stringLength(kMain, 999); }),
              "GetStringLength: invalid or deleted reference 0x3e7");
    EXPECT_EQ(fatal([&] { vm.stringLength(kSplash, text); }),
              "GetStringLength: reference 0x2 is a local reference of thread 100");
    EXPECT_EQ(fatal([&] { vm.getStaticMethodId(kMain, text, "main", "()V"); }),
              "GetStaticMethodID: reference 0x2 is not a class");
    EXPECT_EQ(fatal([&] { vm.getStaticMethodId(kMain, string, nullptr, "()V"); }),
              "GetStaticMethodID: the name or the signature is null");
    EXPECT_EQ(fatal([&] { vm.methodDescriptor(kMain, "CallStaticVoidMethod", 77); }),
              "CallStaticVoidMethod: invalid method ID 0x4d");
    EXPECT_EQ(fatal([&] { vm.findClass(300, "java/lang/String"); }),
              "FindClass: called on a thread that is not attached to the VM");
    vm.deleteLocalRef(kMain, text);
    vm.deleteLocalRef(kMain, 0);
    EXPECT_EQ(fatal([&] { vm.stringLength(kMain, text); }),
              "GetStringLength: invalid or deleted reference 0x2");
    EXPECT_EQ(fatal([&] { vm.deleteLocalRef(kMain, text); }),
              "DeleteLocalRef: invalid or deleted reference 0x2");
    Ref hello = vm.findClass(kMain, "com/example/Hello");
    MethodRef main = vm.getStaticMethodId(kMain, hello, "main", kMainDescriptor.data());
    EXPECT_EQ(fatal([&] { vm.callStatic(kMain, Vm::CallKind::Void, hello, main, string); }),
              "CallStaticVoidMethod: the argument of main is no array");
    ASSERT_EQ(vm.detach(kSplash), kJniOk);
    EXPECT_EQ(fatal([&] { vm.exceptionCheck(kSplash); }),
              "ExceptionCheck: called on a thread that is not attached to the VM");
    ASSERT_EQ(vm.destroy(kMain), kJniOk);
    EXPECT_EQ(fatal([&] { vm.findClass(kMain, "java/lang/String"); }),
              "FindClass: called after DestroyJavaVM");
}

// The splash thread's view of the application's splash controller: the answers the script
// gives, the text as a string whose characters must be released, and the record of it.
TEST_F(StandinVm, TheSplashControllerAnswersFromTheScript) {
    createWith("C:\\app\\classes", {"-Dstandin.splash=2:Loading data;until:C:\\go;2:;1"});
    ASSERT_EQ(vm.attach(kSplash, true, 0, nullptr), kJniOk);
    Ref controller = vm.findClass(kSplash, "com/tesmo/runtime/TesmoController");
    MethodRef getAction = vm.getStaticMethodId(kSplash, controller, "getAction", "()I");
    MethodRef getText =
        vm.getStaticMethodId(kSplash, controller, "getText", "()Ljava/lang/String;");
    ASSERT_NE(getAction, 0u);
    ASSERT_NE(getText, 0u);
    auto action = [&] {
        return vm.callStatic(kSplash, Vm::CallKind::Int, controller, getAction, 0).integer;
    };
    auto text = [&] {
        return vm.callStatic(kSplash, Vm::CallKind::Object, controller, getText, 0).object;
    };

    EXPECT_EQ(action(), 2);
    EXPECT_EQ(member(last(), "result"), "2");
    Ref loading = text();
    ASSERT_NE(loading, 0u);
    EXPECT_EQ(member(last(), "result"), "\"Loading data\"");
    EXPECT_EQ(vm.stringLength(kSplash, loading), 12);
    const char16_t* chars = vm.getStringChars(kSplash, loading);
    EXPECT_EQ(std::u16string(chars, 12), u"Loading data");
    // Not terminated: a caller has to go by the length.
    EXPECT_NE(chars[12], u'\0');
    EXPECT_EQ(text(), 0u);  // a text is answered once

    // Waiting for the file, then a new-text action whose text is null.
    EXPECT_EQ(action(), 0);
    EXPECT_EQ(action(), 0);
    host.memory.files[u"C:\\go"] = {};
    EXPECT_EQ(action(), 2);
    EXPECT_EQ(text(), 0u);
    EXPECT_EQ(member(last(), "result"), "null");
    EXPECT_EQ(action(), 1);
    EXPECT_EQ(action(), 0);

    EXPECT_THROW(vm.releaseStringChars(kSplash, loading, u"Loading data"), Fatal);
    EXPECT_EQ(member(last(), "message"),
              "\"ReleaseStringChars: characters that GetStringChars did not hand out\"");
    Ref other = vm.newString(kSplash, u"other");
    EXPECT_THROW(vm.releaseStringChars(kSplash, other, chars), Fatal);
    vm.releaseStringChars(kSplash, loading, chars);
    EXPECT_EQ(lastCall(), "\"ReleaseStringChars\"");
    EXPECT_EQ(member(last(), "pinned"), "0");
}

TEST_F(StandinVm, OtherIntAndObjectMethodsAnswerZeroAndNull) {
    createWith("C:\\app\\classes", {"-Dstandin.splash=1"});
    Ref controller = vm.findClass(kMain, "com/tesmo/runtime/TesmoController");
    MethodRef status = vm.getStaticMethodId(kMain, controller, "getStatus", "(I)I");
    EXPECT_EQ(vm.callStatic(kMain, Vm::CallKind::Int, controller, status, 0).integer, 0);
    EXPECT_EQ(member(last(), "name"), "\"getStatus\"");
    // The wrong call kind for the method's result is a warning, as -Xcheck:jni gives.
    MethodRef getAction = vm.getStaticMethodId(kMain, controller, "getAction", "()I");
    EXPECT_EQ(vm.callStatic(kMain, Vm::CallKind::Object, controller, getAction, 0).object, 0u);
    EXPECT_EQ(member(events().at(events().size() - 2), "message"), "\"the method returns I\"");
    // The script was not consumed by either call.
    EXPECT_EQ(vm.callStatic(kMain, Vm::CallKind::Int, controller, getAction, 0).integer, 1);
}

TEST_F(StandinVm, ADaemonThreadCallingInAfterDestroyIsBlocked) {
    createWith("C:\\app\\classes");
    constexpr std::uint32_t kWorker = 300;
    ASSERT_EQ(vm.attach(kSplash, true, 0, nullptr), kJniOk);
    ASSERT_EQ(vm.attach(kWorker, false, 0, nullptr), kJniOk);
    EXPECT_FALSE(vm.blockedAfterDestroy(kSplash, "FindClass"));
    ASSERT_EQ(vm.destroy(kMain), kJniOk);
    // Only the non-daemon thread is one a VM waits for.
    EXPECT_EQ(member(last(), "attachedThreads"), "[300]");
    EXPECT_TRUE(vm.blockedAfterDestroy(kSplash, "CallStaticIntMethodV"));
    EXPECT_EQ(last().dump(),
              "{\"call\": \"blocked\", \"thread\": 200, \"function\": \"CallStaticIntMethodV\"}");
    EXPECT_FALSE(vm.blockedAfterDestroy(kWorker, "FindClass"));
    EXPECT_FALSE(vm.blockedAfterDestroy(kMain, "FindClass"));
    EXPECT_EQ(vm.detach(kSplash), kJniErr);
}

// ---------------------------------------------------------------------------------------
// The invocation interface

TEST_F(StandinVm, ThreadsAttachDetachAndTheVmIsDestroyedOnce) {
    EXPECT_EQ(vm.getEnv(kMain, kJniVersion1_2), kJniDetached);
    EXPECT_EQ(vm.attach(kSplash, false, 0, nullptr), kJniErr);
    createWith("C:\\app\\classes");
    EXPECT_EQ(vm.getEnv(kMain, kJniVersion1_1), kJniOk);
    EXPECT_EQ(vm.getEnv(kMain, 0x00150000), kJniVersionError);
    EXPECT_EQ(vm.getEnv(kSplash, kJniVersion1_2), kJniDetached);
    EXPECT_EQ(vm.detach(kSplash), kJniDetached);
    EXPECT_EQ(vm.attach(kSplash, false, 0x00010001, nullptr), kJniVersionError);

    EXPECT_EQ(vm.attach(kSplash, false, kJniVersion1_2, nullptr), kJniOk);
    EXPECT_EQ(member(last(), "name"), "\"Thread-0\"");
    EXPECT_EQ(vm.attach(kSplash, true, kJniVersion1_2, "again"), kJniOk);
    EXPECT_EQ(member(last(), "already"), "true");
    EXPECT_EQ(member(last(), "name"), "\"Thread-0\"");
    EXPECT_EQ(vm.getEnv(kSplash, kJniVersion10), kJniOk);
    EXPECT_EQ(vm.attach(300, true, 0, "daemon \xC3\xA9"), kJniOk);
    EXPECT_EQ(member(last(), "call"), "\"AttachCurrentThreadAsDaemon\"");
    EXPECT_EQ(member(last(), "name"), "\"daemon \xC3\xA9\"");
    EXPECT_EQ(vm.detach(kSplash), kJniOk);
    EXPECT_EQ(vm.detach(kSplash), kJniDetached);
    EXPECT_EQ(vm.attach(kSplash, false, 0, "back"), kJniOk);

    // The splash thread is still attached and not a daemon: a real VM would wait for it.
    EXPECT_EQ(vm.destroy(kMain), kJniOk);
    EXPECT_EQ(last().dump(),
              "{\"call\": \"DestroyJavaVM\", \"thread\": 100, \"attachedThreads\": [200], "
              "\"result\": 0}");
    EXPECT_EQ(vm.destroy(kMain), kJniErr);
    EXPECT_EQ(vm.attach(kSplash, false, 0, nullptr), kJniErr);
    EXPECT_EQ(vm.detach(kSplash), kJniErr);
    EXPECT_EQ(vm.getEnv(kMain, kJniVersion1_2), kJniDetached);
    vm.unimplemented(kMain, "GetObjectClass");
    EXPECT_EQ(last().dump(),
              "{\"call\": \"unimplemented\", \"thread\": 100, \"name\": \"GetObjectClass\"}");
    EXPECT_EQ(host.persisted, vm.record().text());
}

}  // namespace
}  // namespace standin::jvm
