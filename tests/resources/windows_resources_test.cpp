// Every Windows program carries its icon, a manifest that asks for no
// administrator rights and allows long paths, and a version resource naming
// the product and the firmware package it carries. The wizard alone is a GUI
// program (no console window whose closing would end it).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

struct Program {
    const char* path;  // relative to this test's folder
    bool gui;
};

const Program kPrograms[] = {VCQ_PROGRAMS};

std::wstring Beside(const char* relative) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    for (const char* c = relative; *c; ++c)
        path += *c == '/' ? L'\\' : wchar_t(*c);
    return path;
}

std::string Resource(HMODULE module, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

std::string VersionString(const std::vector<char>& info, const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value)
        return "(none)";
    std::string narrow;
    for (UINT i = 0; i < length && value[i]; ++i)
        narrow += char(value[i]);
    return narrow;
}

// The subsystem field of the PE optional header.
int Subsystem(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::vector<char> head(4096);
    file.read(head.data(), head.size());
    const auto pe = *reinterpret_cast<const uint32_t*>(&head[0x3c]);
    return *reinterpret_cast<const uint16_t*>(&head[pe + 4 + 20 + 68]);
}

TEST(WindowsResources, EveryProgramSaysWhatItIs) {
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.path);
        const std::wstring path = Beside(program.path);
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << GetLastError();

        const std::string manifest = Resource(module, MAKEINTRESOURCEW(24));
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
        EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos) << manifest;
        EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos)
            << "Windows 10 not among the supported systems";
        const std::string icons = Resource(module, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_GE(icons.size(), 6u);
        EXPECT_GE(*reinterpret_cast<const uint16_t*>(&icons[4]), 4) << "icon sizes";
        FreeLibrary(module);

        DWORD ignored = 0;
        std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        ASSERT_FALSE(info.empty());
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, DWORD(info.size()), info.data()));
        EXPECT_EQ(VersionString(info, L"ProductName"), "VCQ Firmware Upgrade");
        EXPECT_EQ(VersionString(info, L"FileVersion"), VCQ_PROGRAM_VERSION);
        EXPECT_NE(VersionString(info, L"FileDescription"), "(none)");
        EXPECT_NE(VersionString(info, L"FirmwarePackage").find('.'), std::string::npos);

        EXPECT_EQ(Subsystem(path),
                  program.gui ? IMAGE_SUBSYSTEM_WINDOWS_GUI : IMAGE_SUBSYSTEM_WINDOWS_CUI);
    }
}

}  // namespace
