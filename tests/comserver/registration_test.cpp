// What DllRegisterServer and DllUnregisterServer leave in the registry.
#include <string>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

const wchar_t kAppId[] = L"{F4A4CFEA-BDF3-4192-B36C-BB356C756B13}";
const wchar_t kResamplerClsid[] = L"{F208B575-A8F3-4DBD-8B71-7488869D8693}";
const wchar_t kFourierClsid[] = L"{CDDC917C-38E2-4414-A18F-EFD63B41972D}";

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring Text(const std::wstring& path, const wchar_t* value = nullptr) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size) !=
        ERROR_SUCCESS)
        return L"<missing>";
    if (type != REG_SZ) return L"<not REG_SZ>";
    return buffer;
}

DWORD SubkeyCount(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return count;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(Server::get().module, path, MAX_PATH);
    return path;
}

struct ClassNames {
    const wchar_t* clsid;
    const wchar_t* progId;
    const wchar_t* independent;
    const wchar_t* friendly;
    const wchar_t* threading;
};
const ClassNames kClasses[] = {
    {kResamplerClsid, L"Sonvex.AudioResampler.1", L"Sonvex.AudioResampler", L"CAudioResampler Object", L"both"},
    {kFourierClsid, L"Sonvex.FourierTransform.2", L"Sonvex.FourierTransform", L"CFourierTransform Object",
     L"apartment"},
};

void ExpectRegistered() {
    for (const ClassNames& c : kClasses) {
        const std::wstring clsidKey = std::wstring(L"CLSID\\") + c.clsid;
        EXPECT_EQ(Text(c.progId), c.friendly);
        EXPECT_EQ(Text(std::wstring(c.progId) + L"\\CLSID"), c.clsid);
        EXPECT_EQ(Text(c.independent), c.friendly);
        EXPECT_EQ(Text(std::wstring(c.independent) + L"\\CLSID"), c.clsid);
        EXPECT_EQ(Text(std::wstring(c.independent) + L"\\CurVer"), c.progId);
        EXPECT_EQ(Text(clsidKey), c.friendly);
        EXPECT_EQ(Text(clsidKey, L"AppID"), kAppId);
        EXPECT_EQ(Text(clsidKey + L"\\ProgID"), c.progId);
        EXPECT_EQ(Text(clsidKey + L"\\VersionIndependentProgID"), c.independent);
        EXPECT_TRUE(KeyExists(clsidKey + L"\\Programmable"));
        EXPECT_EQ(SubkeyCount(clsidKey + L"\\Programmable"), 0u);
        EXPECT_EQ(lstrcmpiW(Text(clsidKey + L"\\InprocServer32").c_str(), ModulePath().c_str()), 0)
            << "the bare module path";
        EXPECT_EQ(Text(clsidKey + L"\\InprocServer32", L"ThreadingModel"), c.threading);
        EXPECT_EQ(Text(clsidKey + L"\\TypeLib"), kAppId);
        EXPECT_EQ(SubkeyCount(clsidKey), 5u) << "ProgID, VersionIndependentProgID, Programmable, InprocServer32, TypeLib";
    }
    EXPECT_EQ(Text(std::wstring(L"AppID\\") + kAppId), L"Sonvex");
    EXPECT_EQ(Text(L"AppID\\Sonvex.DLL", L"AppID"), kAppId);
    EXPECT_TRUE(KeyExists(std::wstring(L"TypeLib\\") + kAppId + L"\\1.0\\409"));
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_TRUE(Server::get().ready());
    }
};

TEST_F(RegistrationTest, KeysAfterRegisteringOnceTwiceAndUnregistering) {
    // The suite runs after regsvr32.
    ExpectRegistered();

    // Stale keys of an earlier registration go: ForceRemove clears the CLSID key and Programmable.
    HKEY stale = nullptr;
    for (const wchar_t* path : {L"\\Programmable\\Stale", L"\\Leftover"}) {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kFourierClsid + path).c_str(), 0,
                                  nullptr, 0, KEY_WRITE, nullptr, &stale, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(stale);
    }
    ASSERT_EQ(Server::get().registerServer(), S_OK);
    ASSERT_EQ(Server::get().registerServer(), S_OK);
    ExpectRegistered();
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + kFourierClsid + L"\\Leftover"));

    const LCID locale = GetThreadLocale();
    ASSERT_EQ(Server::get().unregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), locale) << "the thread locale is restored";
    for (const ClassNames& c : kClasses) {
        EXPECT_FALSE(KeyExists(c.progId)) << c.progId;
        EXPECT_FALSE(KeyExists(c.independent)) << c.independent;
        EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + c.clsid)) << c.clsid;
    }
    EXPECT_FALSE(KeyExists(std::wstring(L"AppID\\") + kAppId));
    EXPECT_FALSE(KeyExists(L"AppID\\Sonvex.DLL")) << "a key with only a value is removed";
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"AppID"));
    Ptr<ITypeLib> lib;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_Sonvex, 1, 0, 0x0409, lib.put()))) << "the type library is unregistered";
    CLSID clsid{};
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Sonvex.FourierTransform", &clsid)));

    // Leave the prefix registered for whatever runs next.
    ASSERT_EQ(Server::get().registerServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), locale);
    ExpectRegistered();
}

TEST_F(RegistrationTest, AQuoteInTheModulePathIsKept) {
    // The path goes into a quoted script string, where a quote must be doubled to survive.
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring dir = std::wstring(temp) + L"Sonvex it's " + std::to_wstring(GetCurrentProcessId());
    const std::wstring copy = dir + L"\\Sonvex2.dll";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    auto registerCopy = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(registerCopy, nullptr);
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(module, loaded, MAX_PATH);
    EXPECT_EQ(registerCopy(), S_OK);
    EXPECT_EQ(Text(std::wstring(L"CLSID\\") + kResamplerClsid + L"\\InprocServer32"), loaded);
    FreeLibrary(module);
    // Back to the server under test.
    ASSERT_EQ(Server::get().registerServer(), S_OK);
    ExpectRegistered();
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(dir.c_str());
}

}  // namespace
