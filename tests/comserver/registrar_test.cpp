// The registry script interpreter against a scratch key under HKCU\Software.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dsp/comserver/registrar.h"

using sonvex::RegistryMode;
using sonvex::RunRegistryScript;
using sonvex::UnregisterForm;

namespace {

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = L"SonvexRegistrarTest" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + m_name).c_str());
        m_replacements = {{L"TEST", m_name}, {L"Quote", L"it''s"}};
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + m_name).c_str()); }

    HRESULT run(const std::wstring& body, RegistryMode mode, UnregisterForm form = UnregisterForm::WhenEmpty) {
        std::wstring script = L"HKCU\n{\n NoRemove Software\n {\n" + body + L"\n }\n}\n";
        return RunRegistryScript(script, m_replacements, mode, form);
    }
    bool exists(const std::wstring& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\" + m_name + path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    std::wstring text(const std::wstring& path, const wchar_t* value) {
        wchar_t buffer[512] = {};
        DWORD size = sizeof buffer;
        DWORD type = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, (L"Software\\" + m_name + path).c_str(), value, RRF_RT_ANY, &type, buffer,
                         &size) != ERROR_SUCCESS)
            return L"<missing>";
        if (type != REG_SZ) return L"<type " + std::to_wstring(type) + L">";
        return buffer;
    }
    void createForeign(const std::wstring& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\" + m_name + path).c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    std::wstring m_name;
    sonvex::RegistryReplacements m_replacements;
};

TEST_F(RegistrarTest, RegisterWritesKeysAndTypedValues) {
    ASSERT_EQ(run(LR"(  %TEST% = s 'Top level'
  {
    'Key With Spaces' = s '%Quote%'
    Numbers
    {
      val Count = d '1234'
      val Mask = D '0x10'
      val Bytes = b '00ff10'
      val Lines = m 'one\0two'
    }
    val Named = S 'percent %% sign'
  })",
                  RegistryMode::Register),
              S_OK);
    EXPECT_EQ(text(L"", nullptr), L"Top level");
    EXPECT_EQ(text(L"\\Key With Spaces", nullptr), L"it's") << "'' stands for one quote";
    EXPECT_EQ(text(L"", L"Named"), L"percent % sign");
    DWORD value = 0, size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (L"Software\\" + m_name + L"\\Numbers").c_str(), L"Count",
                           RRF_RT_REG_DWORD, nullptr, &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1234u);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (L"Software\\" + m_name + L"\\Numbers").c_str(), L"Mask",
                           RRF_RT_REG_DWORD, nullptr, &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 16u);
    BYTE bytes[8] = {};
    size = sizeof bytes;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (L"Software\\" + m_name + L"\\Numbers").c_str(), L"Bytes",
                           RRF_RT_REG_BINARY, nullptr, bytes, &size),
              ERROR_SUCCESS);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x10);
    wchar_t lines[32] = {};
    size = sizeof lines;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (L"Software\\" + m_name + L"\\Numbers").c_str(), L"Lines",
                           RRF_RT_REG_MULTI_SZ, nullptr, lines, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(lines, L"one");
    EXPECT_STREQ(lines + 4, L"two");
}

TEST_F(RegistrarTest, ForceRemoveAndDeleteClearWhatWasThere) {
    createForeign(L"\\Forced\\Stale");
    createForeign(L"\\Gone\\Child");
    createForeign(L"\\Kept\\Stale");
    ASSERT_EQ(run(LR"(  %TEST%
  {
    ForceRemove Forced = s 'new'
    {
      Fresh
    }
    Delete Gone
    {
      NeverWritten
    }
    Kept
  })",
                  RegistryMode::Register),
              S_OK);
    EXPECT_TRUE(exists(L"\\Forced\\Fresh"));
    EXPECT_FALSE(exists(L"\\Forced\\Stale")) << "ForceRemove deletes the old subtree first";
    EXPECT_FALSE(exists(L"\\Gone"));
    EXPECT_TRUE(exists(L"\\Kept\\Stale")) << "plain keys are only opened";
}

TEST_F(RegistrarTest, UnregisterRemovesOnlyEmptiedKeysWithoutNoRemove) {
    const std::wstring body = LR"(  %TEST%
  {
    NoRemove Stays
    {
      Leaf = s 'x'
    }
    Shared
    {
      Ours
    }
    Valued
    {
      val Something = s 'x'
    }
    ForceRemove Programmable
  })";
    ASSERT_EQ(run(body, RegistryMode::Register), S_OK);
    createForeign(L"\\Shared\\Theirs");
    ASSERT_EQ(run(body, RegistryMode::Unregister), S_OK);
    EXPECT_TRUE(exists(L"\\Stays"));
    EXPECT_FALSE(exists(L"\\Stays\\Leaf"));
    EXPECT_FALSE(exists(L"\\Shared\\Ours"));
    EXPECT_TRUE(exists(L"\\Shared\\Theirs")) << "a key with other subkeys stays";
    EXPECT_FALSE(exists(L"\\Valued")) << "values do not keep a key";
    EXPECT_FALSE(exists(L"\\Programmable"));
    EXPECT_TRUE(exists(L"")) << "the top key still has subkeys";
    // Unregistering again finds nothing to do and is no error.
    EXPECT_EQ(run(body, RegistryMode::Unregister), S_OK);
}

TEST_F(RegistrarTest, WholeSubtreeFormTakesForeignSubkeysToo) {
    const std::wstring body = LR"(  %TEST%
  {
    Shared
    {
      Ours
    }
  })";
    ASSERT_EQ(run(body, RegistryMode::Register), S_OK);
    createForeign(L"\\Shared\\Theirs\\Deeper");
    ASSERT_EQ(run(body, RegistryMode::Unregister, UnregisterForm::WholeSubtree), S_OK);
    EXPECT_FALSE(exists(L""));
}

TEST_F(RegistrarTest, ProtectedNamesAreNeverDeleted) {
    createForeign(L"\\CLSID\\Old");
    createForeign(L"\\TypeLib");
    ASSERT_EQ(run(LR"(  %TEST%
  {
    ForceRemove CLSID
    {
      New
    }
    Delete typelib
  })",
                  RegistryMode::Register),
              S_OK);
    EXPECT_TRUE(exists(L"\\CLSID\\Old"));
    EXPECT_TRUE(exists(L"\\CLSID\\New"));
    EXPECT_TRUE(exists(L"\\TypeLib"));
    EXPECT_EQ(run(LR"(  %TEST%
  {
    CLSID
    {
      New
    }
    TypeLib
  })",
                  RegistryMode::Unregister),
              S_OK);
    EXPECT_TRUE(exists(L"\\CLSID")) << "an emptied CLSID key stays";
    EXPECT_FALSE(exists(L"\\CLSID\\New"));
    EXPECT_TRUE(exists(L"\\TypeLib"));
}

TEST_F(RegistrarTest, MalformedScriptsChangeNothing) {
    const wchar_t* bad[] = {
        L"HKXX { Software { %TEST% } }",
        L"HKCU Software { %TEST% }",
        L"HKCU { NoRemove Software { %TEST% { Plain\\Path } } }",
        L"HKCU { NoRemove Software { %TEST% { ForceRemove A\\B } } }",
        L"HKCU { NoRemove Software { %TEST% { Delete A\\B } } }",
        L"HKCU { NoRemove Software { %TEST% { A = x 'bad type' } } }",
        L"HKCU { NoRemove Software { %TEST% { A = d '12z' } } }",
        L"HKCU { NoRemove Software { %TEST% { A = b 'abc' } } }",
        L"HKCU { NoRemove Software { %TEST% { val A } } }",
        L"HKCU { NoRemove Software { %TEST% { A = s 'unterminated } } }",
        L"HKCU { NoRemove Software { %TEST% { A } }",
        L"HKCU { NoRemove Software { %TEST% { %UNKNOWN% } } }",
        L"HKCU { NoRemove Software { %TEST% } } HKBAD { }",
    };
    for (const wchar_t* script : bad) {
        EXPECT_EQ(RunRegistryScript(script, m_replacements, RegistryMode::Register), DISP_E_EXCEPTION) << script;
        EXPECT_FALSE(exists(L"")) << script;
    }
    // Long root names and NoRemove paths are fine.
    EXPECT_EQ(RunRegistryScript(L"HKEY_CURRENT_USER { NoRemove Software\\%TEST%\\Deep { Leaf } }", m_replacements,
                                RegistryMode::Register),
              S_OK);
    EXPECT_TRUE(exists(L"\\Deep\\Leaf"));
}

TEST_F(RegistrarTest, AFailedRootBlockIsTakenBack) {
    // A key name longer than the registry allows fails after the keys before it were written.
    const std::wstring tooLong(300, L'k');
    HRESULT hr = run(L"  %TEST%\n  {\n    First\n    {\n      Inner\n    }\n    " + tooLong + L"\n  }",
                     RegistryMode::Register);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32) << std::hex << hr;
    EXPECT_FALSE(exists(L"\\First")) << "rolled back";
    EXPECT_FALSE(exists(L""));
}

}  // namespace
