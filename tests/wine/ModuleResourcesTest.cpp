// module_resources_test MODULE: reads the module's version resource and
// manifest as Windows itself does (the version API and the resource loader)
// and checks them. Prints one line per check; the exit status is the number
// of failed checks.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProjectVersion.h"
#include "tests/wine/WineCheck.h"

namespace {

using wine_check::Check;

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(),
                        size, nullptr, nullptr);
    return result;
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string VersionText(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "," + std::to_string(LOWORD(high)) + "," +
           std::to_string(HIWORD(low)) + "," + std::to_string(LOWORD(low));
}

void CheckVersionResource(const std::wstring& module) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(module.c_str(), &handle);
    Check(size != 0, "the module has version information",
          "GetFileVersionInfoSizeW error " + std::to_string(GetLastError()));
    if (size == 0)
        return;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(module.c_str(), 0, size, data.data())) {
        Check(false, "the version information reads",
              "GetFileVersionInfoW error " + std::to_string(GetLastError()));
        return;
    }

    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        Check(fixed->dwSignature == 0xFEEF04BD, "the fixed file information is signed");
        const std::string file = VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        const std::string product =
            VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        const std::string version = MELVARA_VERSION_RESOURCE;
        Check(file == version, "FILEVERSION is " + version, "it is " + file);
        Check(product == version, "PRODUCTVERSION is " + version, "it is " + product);
        Check(fixed->dwFileType == VFT_DLL, "the file type is a DLL",
              "it is " + std::to_string(fixed->dwFileType));
    } else {
        Check(false, "the version information has its fixed part");
    }

    // One translation: US English (0409), Unicode (04B0).
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length)) {
        std::string found;
        const auto* words = static_cast<const WORD*>(value);
        for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
            found += (found.empty() ? "" : " ") + Hex(words[i], 4) + " " + Hex(words[i + 1], 4);
        Check(found == "0x0409 0x04B0", "the one translation is 0409 04B0 (US English, Unicode)",
              "found " + (found.empty() ? std::string("none") : found));
    } else {
        Check(false, "the version information lists its translations");
    }

    struct StringValue {
        const wchar_t* Name;
        const wchar_t* Expected;
    };
    const StringValue strings[] = {
        {L"ProductName", L"QV Zevedov Uvedoza"},
        {L"FileDescription", L"QV Zevedov Uvedoza plug-in for Melvara(R)"},
        {L"FileVersion", L"" MELVARA_VERSION_RESOURCE},
        {L"ProductVersion", L"" MELVARA_VERSION_RESOURCE},
        {L"OriginalFilename", L"qvzevedovuvedoza64.mxt"},
    };
    for (const StringValue& string : strings) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + string.Name;
        const std::string what = Utf8(string.Name) + " is \"" + Utf8(string.Expected) + "\"";
        if (!VerQueryValueW(data.data(), path.c_str(), &value, &length) || length == 0) {
            Check(false, what, "no such value in block 040904B0");
            continue;
        }
        // length counts the terminating zero; trust the zero, not the count.
        const std::wstring actual(static_cast<const wchar_t*>(value));
        Check(actual == string.Expected, what, "it is \"" + Utf8(actual) + "\"");
    }
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : Utf8(name));
    return TRUE;
}

void CheckManifest(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    Check(module != nullptr, "the module opens as a resource file",
          "error " + std::to_string(GetLastError()));
    if (module == nullptr)
        return;

    // A DLL's manifest: resource type RT_MANIFEST, id 2, and only that one.
    std::vector<std::string> names;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(24), CollectName,
                       reinterpret_cast<LONG_PTR>(&names));
    std::string found;
    for (const std::string& name : names)
        found += (found.empty() ? "" : " ") + name;
    Check(found == "2", "one manifest, with id 2", "found " + (found.empty() ? "none" : found));

    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        const std::string manifest(static_cast<const char*>(bytes),
                                   SizeofResource(module, resource));
        Check(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>") !=
                  std::string::npos,
              "the manifest asks to run as invoker, without UI access");
    } else {
        Check(false, "the manifest loads", "error " + std::to_string(GetLastError()));
    }
    FreeLibrary(module);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: module_resources_test MODULE\n");
        return 2;
    }
    const int size = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
    std::wstring module(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, module.data(), size);
    module.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));

    CheckVersionResource(module);
    CheckManifest(module);
    return wine_check::Finish();
}
