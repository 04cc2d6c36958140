// The module as a host meets it: loading, the module's folders, the
// factory and the faces of the objects it makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "vst3/module_paths.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

// Class ids in memory: COM order on Windows, the GUID's own order elsewhere.
#ifdef _WIN32
const uint8_t kProcessorBytes[16] = {0xAC, 0x4A, 0xEF, 0xFD, 0xDD, 0xEA, 0xFA, 0x4E,
                                     0xA4, 0xC0, 0x0E, 0xC3, 0x72, 0xFE, 0x96, 0x02};
const uint8_t kControllerBytes[16] = {0xD2, 0xA1, 0xE7, 0xDF, 0x1C, 0x30, 0x6A, 0x40,
                                      0xA5, 0x3A, 0xC7, 0x82, 0xCF, 0x4D, 0x3C, 0xDD};
#else
const uint8_t kProcessorBytes[16] = {0xFD, 0xEF, 0x4A, 0xAC, 0xEA, 0xDD, 0x4E, 0xFA,
                                     0xA4, 0xC0, 0x0E, 0xC3, 0x72, 0xFE, 0x96, 0x02};
const uint8_t kControllerBytes[16] = {0xDF, 0xE7, 0xA1, 0xD2, 0x30, 0x1C, 0x40, 0x6A,
                                      0xA5, 0x3A, 0xC7, 0x82, 0xCF, 0x4D, 0x3C, 0xDD};
#endif

IPluginFactory3* factory() { return static_cast<IPluginFactory3*>(shared_module().factory); }

bool is_folder(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

TEST(Vst3Module, LoadsFromTheBundleAndFindsItsFolders) {
    LoadedModule& module = shared_module();
    ASSERT_NE(module.factory, nullptr) << module_path();
    LoadedModule again(module_path());  // the same module, entered twice
    EXPECT_EQ(again.factory, module.factory);

#ifdef _WIN32
    char* name = vst3::module_file_name_of_handle(module.handle);
    const char separator = '\\';
#else
    char* name = vst3::module_file_name(module.symbol("GetPluginFactory"));
    const char separator = '/';
#endif
    ASSERT_NE(name, nullptr);
    EXPECT_STRCASEEQ(name, module_path().c_str());
    vst3::ModuleFolders f;
    ASSERT_TRUE(vst3::folders_of(name, separator, &f));
    EXPECT_TRUE(is_folder(f.resources_dir)) << f.resources_dir;
    vst3::free_folders(&f);
    std::free(name);

    // The bundle layout: the page sits beside the platform's folder.
    ASSERT_TRUE(vst3::folders_of("D:\\Plugins\\B.vst3\\Contents\\Sub\\B.vst3", '\\', &f));
    EXPECT_STREQ(f.module_dir, "D:\\Plugins\\B.vst3\\Contents\\Sub");
    EXPECT_STREQ(f.resources_dir, "D:\\Plugins\\B.vst3\\Contents\\Resources");
    vst3::free_folders(&f);
    EXPECT_FALSE(vst3::folders_of("Sub\\B.vst3", '\\', &f));
}

#ifdef _WIN32
// Loaded from deep inside a folder tree, the module still reads its whole
// file name (else it would refuse to load).
TEST(Vst3Module, ReadsAFileNameLongerThanMaxPath) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring dir = std::wstring(L"\\\\?\\") + temp + L"yawp-long-" + std::to_wstring(GetCurrentProcessId());
    std::vector<std::wstring> made;
    for (;;) {
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        made.push_back(dir);
        if (dir.size() > 300) break;
        dir += L"\\a-folder-with-a-rather-long-name-to-pass-max-path";
    }
    const std::wstring file = dir + L"\\Yawp Wah.vst3";
    const std::string path = module_path();
    ASSERT_TRUE(CopyFileW(std::wstring(path.begin(), path.end()).c_str(), file.c_str(), FALSE));

    HMODULE module = LoadLibraryW(file.c_str());
    ASSERT_NE(module, nullptr);
    char* name = vst3::module_file_name_of_handle(module);
    ASSERT_NE(name, nullptr);
    std::string got = name;
    if (got.rfind("\\\\?\\", 0) == 0) got.erase(0, 4);
    EXPECT_STRCASEEQ(got.c_str(), std::string(file.begin() + 4, file.end()).c_str());
    std::free(name);
    FreeLibrary(module);
    DeleteFileW(file.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(it->c_str());
}
#endif

TEST(Vst3Factory, DescribesTwoClasses) {
    PFactoryInfo info;
    ASSERT_EQ(factory()->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Tallow.AUDIO");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(factory()->countClasses(), 2);

    PClassInfo c;
    PClassInfo2 c2;
    PClassInfoW cw;
    EXPECT_EQ(factory()->getClassInfo(2, &c), kInvalidArgument);
    EXPECT_EQ(factory()->getClassInfo2(-1, &c2), kInvalidArgument);
    EXPECT_EQ(factory()->getClassInfoUnicode(2, &cw), kInvalidArgument);
    ASSERT_EQ(factory()->getClassInfo(0, &c), kResultOk);
    EXPECT_EQ(std::memcmp(c.cid, kProcessorBytes, 16), 0);
    ASSERT_EQ(factory()->getClassInfo2(0, &c2), kResultOk);
    EXPECT_STREQ(c2.subCategories, "Fx|Filter");
    EXPECT_STREQ(c2.sdkVersion, "VST 3.8.0 | Quill");

    std::memset(static_cast<void*>(&cw), 0x55, sizeof cw);
    ASSERT_EQ(factory()->getClassInfoUnicode(1, &cw), kResultOk);
    EXPECT_EQ(std::memcmp(cw.cid, kControllerBytes, 16), 0);
    const char16_t name[] = u"Yawp Wah Controller";
    const char16_t sdk[] = u"VST 3.8.0";
    EXPECT_TRUE(std::equal(name, name + std::size(name), cw.name));
    EXPECT_TRUE(std::equal(sdk, sdk + std::size(sdk), cw.sdkVersion));
    EXPECT_TRUE(std::all_of(cw.vendor, std::end(cw.vendor), [](char16 u) { return u == 0; }));
    EXPECT_TRUE(std::all_of(cw.sdkVersion + std::size(sdk), std::end(cw.sdkVersion), [](char16 u) { return u == 0; }));
}

// Both classes carry the version that project() in the top-level
// CMakeLists.txt sets, in every class information that has a version.
TEST(Vst3Factory, CarriesTheProductVersion) {
    const std::string expected = YAWP_PRODUCT_VERSION;
    for (int32 i = 0; i < 2; ++i) {
        PClassInfo2 c2;
        PClassInfoW cw;
        ASSERT_EQ(factory()->getClassInfo2(i, &c2), kResultOk);
        EXPECT_EQ(std::string(c2.version), expected) << "class " << i;
        ASSERT_EQ(factory()->getClassInfoUnicode(i, &cw), kResultOk);
        std::string narrowed;
        for (const char16* u = cw.version; *u != 0; ++u) narrowed += static_cast<char>(*u);
        EXPECT_EQ(narrowed, expected) << "class " << i;
    }
}

TEST(Vst3Factory, CreatesOnlyItsClassesThroughTheirMainInterfaces) {
    void* obj = nullptr;
    EXPECT_EQ(factory()->queryInterface(IPluginFactory2::iid, &obj), kResultOk);
    EXPECT_EQ(obj, factory());
    EXPECT_EQ(factory()->queryInterface(IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);

    PClassInfo processor, controller;
    factory()->getClassInfo(0, &processor);
    factory()->getClassInfo(1, &controller);
    obj = &obj;
    EXPECT_EQ(factory()->createInstance(processor.cid, IAudioProcessor::iid, &obj), kNoInterface);
    EXPECT_EQ(factory()->createInstance(controller.cid, IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, &obj) << "a refused interface leaves the pointer alone";
    EXPECT_EQ(factory()->createInstance(IComponent::iid, FUnknown::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    for (const PClassInfo* c : {&processor, &controller}) {
        ASSERT_EQ(factory()->createInstance(c->cid, FUnknown::iid, &obj), kResultOk);
        EXPECT_EQ(static_cast<FUnknown*>(obj)->release(), 0u);
    }
}

// Every face answers for the whole object, FUnknown always by the same
// face, and all faces share one count.
void expect_one_object(FUnknown* object, std::initializer_list<const FUID*> faces) {
    const uint32 base = object->addRef() - 1;
    object->release();
    void* unknown = nullptr;
    ASSERT_EQ(object->queryInterface(FUnknown::iid, &unknown), kResultOk);
    for (const FUID* iid : faces) {
        void* face = nullptr;
        void* again = nullptr;
        ASSERT_EQ(object->queryInterface(*iid, &face), kResultOk);
        ASSERT_EQ(static_cast<FUnknown*>(face)->queryInterface(FUnknown::iid, &again), kResultOk);
        EXPECT_EQ(again, unknown);
        static_cast<FUnknown*>(again)->release();
        static_cast<FUnknown*>(face)->release();
    }
    void* last = nullptr;
    ASSERT_EQ(object->queryInterface(**std::prev(faces.end()), &last), kResultOk);
    EXPECT_EQ(static_cast<FUnknown*>(last)->addRef(), base + 3);
    EXPECT_EQ(static_cast<FUnknown*>(unknown)->release(), base + 2);
    EXPECT_EQ(static_cast<FUnknown*>(last)->release(), base + 1);
    EXPECT_EQ(static_cast<FUnknown*>(last)->release(), base);
    void* none = &none;
    EXPECT_EQ(object->queryInterface(IPluginFactory::iid, &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
}

TEST(Vst3Faces, EachObjectIsOneObjectWithOneCount) {
    Plugin plugin;
    expect_one_object(plugin.component, {&IPluginBase::iid, &IComponent::iid, &IAudioProcessor::iid,
                                         &IProcessContextRequirements::iid, &IConnectionPoint::iid});
    expect_one_object(plugin.controller,
                      {&IPluginBase::iid, &IEditController::iid, &IMidiMapping::iid, &IConnectionPoint::iid});
}

}  // namespace
}  // namespace yawp::test
