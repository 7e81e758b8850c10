// The port list read from the registry. It writes values of its own into the key, so it runs only
// where that is harmless and allowed (a throw-away Wine prefix): RV_TEST_REGISTRY_WRITABLE=1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "rangeview/ui/SerialPorts.h"

namespace rv {
namespace {

const wchar_t* const SerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

class RegistryValues {
public:
    RegistryValues()
    {
        Ok_ = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, SerialCommKey, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &Key_,
                                nullptr) == ERROR_SUCCESS;
    }
    ~RegistryValues()
    {
        if (!Ok_)
            return;
        for (const auto& name : Names_)
            ::RegDeleteValueW(Key_, name.c_str());
        ::RegCloseKey(Key_);
    }
    bool Ok() const { return Ok_; }
    void SetText(const std::wstring& name, const std::wstring& text, bool terminated = true)
    {
        const auto bytes = (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
        ASSERT_EQ(::RegSetValueExW(Key_, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
        Names_.push_back(name);
    }
    void SetNumber(const std::wstring& name, DWORD value)
    {
        ASSERT_EQ(::RegSetValueExW(Key_, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
        Names_.push_back(name);
    }

private:
    HKEY Key_ = nullptr;
    bool Ok_ = false;
    std::vector<std::wstring> Names_;
};

TEST(RegistryPortList, ShowsTheValuesDataInTheRegistrysOrderNotSorted)
{
    const char* writable = std::getenv("RV_TEST_REGISTRY_WRITABLE");
    if (writable == nullptr || std::string(writable) != "1")
        GTEST_SKIP() << "the registry is not ours to write";
    const QStringList before = EnumerateSerialPorts();
    {
        RegistryValues values;
        ASSERT_TRUE(values.Ok());
        // The value names order the enumeration here; a list sorted by port name would put
        // COM10 first.
        values.SetText(L"\\Device\\RvTestA", L"COM9");
        values.SetText(L"\\Device\\RvTestB", L"COM10", false); // stored without its NUL
        values.SetNumber(L"\\Device\\RvTestC", 7); // not text: skipped

        const QStringList now = EnumerateSerialPorts();
        ASSERT_EQ(now.size(), before.size() + 2);
        const auto com9 = now.indexOf(QStringLiteral("COM9"));
        const auto com10 = now.indexOf(QStringLiteral("COM10"));
        ASSERT_GE(com9, 0);
        ASSERT_GE(com10, 0);
        EXPECT_LT(com9, com10);
        for (const QString& name : before)
            EXPECT_TRUE(now.contains(name)) << name.toStdString();
    }
    EXPECT_EQ(EnumerateSerialPorts(), before);
}

} // namespace
} // namespace rv
