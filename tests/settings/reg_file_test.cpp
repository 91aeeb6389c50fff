#include "settings/reg_file.h"

#include "tests/support/registry_values.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/stat.h>

using namespace registry;
using testing_support::TempDir;

namespace {

using testing_support::keyExists;
using testing_support::readRaw;

void setRaw(HKEY root, const char* key, const char* name, DWORD type, const std::string& data)
{
    ASSERT_TRUE(testing_support::writeRaw(root, key, name, type, data));
}

template <typename F>
std::string messageOf(F&& f)
{
    try {
        f();
    } catch (const ERegFileError& e) {
        return e.what();
    }
    return "(nothing raised)";
}

class RegFile : public testing::Test {
protected:
    void SetUp() override
    {
        store_ = testing_support::useStoresIn(dir_.path(), dir_ / "registry.reg");
        reg_.SetRootKey(hkCurrentUser);
        reg_.SetKey("Software\\Quorvana");
    }

    TempDir dir_;
    std::string store_;
    TRegFile reg_;
};

// Counts how keys are opened and closed; calls through to the component.
class CountingRegFile : public TRegFile {
public:
    bool OpenKey(const std::string& path, bool openOnly) override
    {
        ++opened;
        const bool ok = TRegFile::OpenKey(path, openOnly);
        if (afterOpen)
            afterOpen();
        return ok;
    }
    void CloseKey() override
    {
        if (Handle())
            ++closed;
        TRegFile::CloseKey();
    }
    int opened = 0;
    int closed = 0;
    std::function<void()> afterOpen;
};

} // namespace

TEST_F(RegFile, MissingKeyIsCreatedEmptyAndReadsAsNull)
{
    const ui::Variant v = reg_.ReadValue("Name");
    EXPECT_TRUE(v.IsNull());
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quorvana"));
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Name"));
    EXPECT_EQ(reg_.Handle(), 0u);
    EXPECT_EQ(reg_.LastError(), 0);
}

TEST_F(RegFile, TextsAreStoredWithTheirZero)
{
    reg_.WriteValue("Empty", ui::Variant(std::string()));
    const auto empty = readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Empty");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->type, REG_SZ);
    EXPECT_EQ(empty->data, std::string(1, '\0'));
    const ui::Variant back = reg_.ReadValue("Empty");
    EXPECT_EQ(back.VarType(), ui::varString);
    EXPECT_EQ(back.Text(), "");

    reg_.WriteValue("Path", ui::Variant("/opt/my player/quorvana %1"));
    EXPECT_EQ(readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Path")->data,
        std::string("/opt/my player/quorvana %1") + '\0');
    EXPECT_EQ(reg_.ReadValue("path").Text(), "/opt/my player/quorvana %1");

    // Text stored by others: cut at the first zero, never read past its end.
    setRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Bare", REG_SZ, "no zero");
    EXPECT_EQ(reg_.ReadValue("Bare").Text(), "no zero");
    setRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Two", REG_SZ, std::string("one\0two\0", 8));
    EXPECT_EQ(reg_.ReadValue("Two").Text(), "one");
}

TEST_F(RegFile, IntegersAndBooleansAreDoubleWords)
{
    reg_.WriteValue("True", ui::Variant(true));
    reg_.WriteValue("False", ui::Variant(false));
    reg_.WriteValue("Small", ui::Variant(std::int16_t(-2)));
    reg_.WriteValue("Int", ui::Variant(std::int32_t(123456789)));
    const auto t = readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "True");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->type, REG_DWORD);
    EXPECT_EQ(t->data, std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Small")->data, std::string("\xfe\xff\xff\xff", 4));

    const ui::Variant back = reg_.ReadValue("True");
    EXPECT_EQ(back.VarType(), ui::varInteger);
    EXPECT_EQ(back.AsInteger(), -1);
    EXPECT_EQ(reg_.ReadValue("False").AsInteger(), 0);
    EXPECT_EQ(reg_.ReadValue("Small").AsInteger(), -2);
    EXPECT_EQ(reg_.ReadValue("Int").AsInteger(), 123456789);

    // A double word shorter than four bytes is taken as far as it goes.
    setRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Short", REG_DWORD, "\x34\x12");
    EXPECT_EQ(reg_.ReadValue("Short").AsInteger(), 0x1234);
}

TEST_F(RegFile, FloatingPointCurrencyAndDateAreStoredAsTheirImage)
{
    reg_.WriteValue("Double", ui::Variant(1.5));
    const auto d = readRaw(HKEY_CURRENT_USER, "Software\\Quorvana", "Double");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->type, REG_BINARY);
    ASSERT_EQ(d->data.size(), 16u);
    EXPECT_EQ(d->data.substr(0, 2), std::string("\x05\x00", 2));
    const double onePointFive = 1.5;
    EXPECT_EQ(std::memcmp(d->data.data() + 8, &onePointFive, 8), 0);
    const ui::Variant back = reg_.ReadValue("Double");
    EXPECT_EQ(back.VarType(), ui::varDouble);
    EXPECT_EQ(back.AsDouble(), 1.5);

    reg_.WriteValue("Single", ui::Variant(2.25f));
    reg_.WriteValue("Money", ui::Variant::Currency(-123456));
    reg_.WriteValue("When", ui::Variant::Date(36526.75));
    EXPECT_EQ(reg_.ReadValue("Single").VarType(), ui::varSingle);
    EXPECT_EQ(reg_.ReadValue("Single").AsSingle(), 2.25f);
    EXPECT_EQ(reg_.ReadValue("Money").VarType(), ui::varCurrency);
    EXPECT_EQ(reg_.ReadValue("Money").AsCurrency(), -123456);
    EXPECT_EQ(reg_.ReadValue("When").VarType(), ui::varDate);
    EXPECT_EQ(reg_.ReadValue("When").AsDouble(), 36526.75);
}

TEST_F(RegFile, TypesNotConvertedReadAsEmpty)
{
    const char* key = "Software\\Quorvana";
    setRaw(HKEY_CURRENT_USER, key, "Bin8", REG_BINARY, std::string(8, '\x01'));
    setRaw(HKEY_CURRENT_USER, key, "Expand", REG_EXPAND_SZ, std::string("%HOME%\0", 7));
    setRaw(HKEY_CURRENT_USER, key, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    // An image claiming a text carries a pointer from another process: never followed.
    std::string textImage(16, '\x41');
    textImage[0] = 0x00;
    textImage[1] = 0x01;
    setRaw(HKEY_CURRENT_USER, key, "TextImage", REG_BINARY, textImage);
    for (const char* name : {"Bin8", "Expand", "Multi", "TextImage"}) {
        const ui::Variant v = reg_.ReadValue(name);
        EXPECT_TRUE(v.IsEmpty()) << name;
    }
    // Present but empty data reads like a missing value.
    setRaw(HKEY_CURRENT_USER, key, "Zero", REG_SZ, "");
    EXPECT_TRUE(reg_.ReadValue("Zero").IsNull());
}

TEST_F(RegFile, KindsThatCannotBeStoredRaiseAfterTheKeyIsCreated)
{
    CountingRegFile reg;
    reg.SetKey("Software\\Refused");
    for (const ui::Variant& v : {ui::Variant::Null(), ui::Variant(), ui::Variant::OfKind(ui::varOleStr),
                                  ui::Variant::OfKind(ui::varArray | ui::varInteger)}) {
        EXPECT_EQ(messageOf([&] { reg.WriteValue("Name", v); }), "Invalid variant type");
        EXPECT_EQ(reg.Handle(), 0u);
    }
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Refused"));
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, "Software\\Refused", "Name"));
    EXPECT_EQ(reg.opened, 4);
    EXPECT_EQ(reg.closed, 4);
}

TEST_F(RegFile, DynDataKeysAreNeverCreated)
{
    reg_.SetRootKey(hkDynData);
    reg_.SetKey("PerfStats");
    EXPECT_EQ(messageOf([&] { reg_.ReadValue("Name"); }), "Can't open a Key");
    EXPECT_EQ(messageOf([&] { reg_.WriteValue("Name", ui::Variant(1)); }), "Can't open a Key");
    EXPECT_EQ(reg_.LastError(), 0);
    EXPECT_EQ(reg_.Handle(), 0u);
    EXPECT_FALSE(reg_.OpenKey("PerfStats", true));
    EXPECT_FALSE(std::filesystem::exists(store_));
}

TEST_F(RegFile, EmptyKeyAndValuePathAddressTheRootsDefault)
{
    reg_.SetRootKey(hkClassesRoot);
    reg_.SetKey("");
    EXPECT_TRUE(reg_.ReadValue("").IsNull());
    EXPECT_FALSE(std::filesystem::exists(store_)); // opened, nothing created
    reg_.WriteValue("", ui::Variant("root"));
    EXPECT_EQ(readRaw(HKEY_CLASSES_ROOT, "", nullptr)->data, std::string("root") + '\0');
    EXPECT_EQ(reg_.ReadValue("").Text(), "root");
}

TEST_F(RegFile, FailuresCarryTheRegistryCode)
{
    EXPECT_EQ(messageOf([&] { reg_.CheckResult(0x3F2); }), "Reg Error: 000003F2");
    EXPECT_EQ(reg_.LastError(), 0x3F2);
    EXPECT_EQ(messageOf([&] { reg_.CheckResult(ERROR_MORE_DATA); }), "Reg Error: 000000EA");
    reg_.CheckResult(0);
    EXPECT_EQ(reg_.LastError(), 0);

    // A store nobody may write: full access is asked for reading too.
    reg_.WriteValue("v", ui::Variant("x"));
    ASSERT_EQ(chmod(store_.c_str(), 0444), 0);
    EXPECT_EQ(messageOf([&] { reg_.ReadValue("v"); }), "Reg Error: 00000005");
    EXPECT_EQ(reg_.LastError(), 5);
    EXPECT_EQ(reg_.Handle(), 0u);
}

TEST_F(RegFile, KeyIsClosedWhenTheWriteFails)
{
    CountingRegFile reg;
    reg.SetKey("Software\\Quorvana");
    reg.WriteValue("v", ui::Variant("x"));
    // The store turns read-only between the open and the write.
    reg.afterOpen = [&] { chmod(store_.c_str(), 0444); };
    EXPECT_EQ(messageOf([&] { reg.WriteValue("v", ui::Variant("y")); }), "Reg Error: 00000005");
    EXPECT_EQ(reg.Handle(), 0u);
    EXPECT_EQ(reg.opened, 2);
    EXPECT_EQ(reg.closed, 2);
    reg.afterOpen = nullptr;
    ASSERT_EQ(chmod(store_.c_str(), 0644), 0);
    EXPECT_EQ(reg.ReadValue("v").Text(), "x");
}

TEST(SplitValuePath, SplitsAtTheLastSingleBackslash)
{
    struct Case {
        const char* path;
        const char* subKey;
        const char* name;
    };
    const Case cases[] = {
        {"Name", "", "Name"},
        {"", "", ""},
        {"Sub\\Size", "\\Sub", "Size"},
        {"Sub\\", "\\Sub", ""},
        {"A\\B\\C", "\\A\\B", "C"},
        {"a\\\\b", "", "a\\\\b"},
        {"x\\a\\\\b", "\\x", "a\\\\b"},
        {"\\\\", "", "\\\\"},
        {"\\Name", "", "Name"},
        {"\\Sub\\Name", "\\Sub", "Name"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(TRegFile::SplitValuePath(path), c.subKey) << c.path;
        EXPECT_EQ(path, c.name) << c.path;
    }
}

TEST_F(RegFile, ValuePathsReachSubKeysAndKeepDoubledBackslashes)
{
    reg_.SetRootKey(hkClassesRoot);
    reg_.SetKey(".wav");
    reg_.WriteValue("Sub\\Name", ui::Variant("in sub"));
    reg_.WriteValue("Sub\\", ui::Variant("sub default"));
    reg_.WriteValue("a\\\\b", ui::Variant("doubled"));
    EXPECT_EQ(readRaw(HKEY_CLASSES_ROOT, ".wav\\Sub", "Name")->data, std::string("in sub") + '\0');
    EXPECT_EQ(readRaw(HKEY_CLASSES_ROOT, ".wav\\Sub", nullptr)->data, std::string("sub default") + '\0');
    EXPECT_EQ(readRaw(HKEY_CLASSES_ROOT, ".wav", "a\\\\b")->data, std::string("doubled") + '\0');
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".wav\\a"));

    // Below the root itself a sub-key path still works.
    reg_.SetKey("");
    reg_.WriteValue("Top\\Name", ui::Variant("top"));
    EXPECT_EQ(readRaw(HKEY_CLASSES_ROOT, "Top", "Name")->data, std::string("top") + '\0');
    EXPECT_EQ(reg_.ReadValue("Top\\Name").Text(), "top");
}

TEST_F(RegFile, BadInputGivesClearErrorsAndKeepsTheStore)
{
    reg_.WriteValue("Keep", ui::Variant("kept"));

    // A megabyte of text goes through whole.
    const std::string big(1 << 20, 'm');
    reg_.WriteValue("Big", ui::Variant(big));
    EXPECT_EQ(reg_.ReadValue("Big").Text(), big);

    // A key path of a thousand characters in one name is more than the registry allows.
    reg_.SetKey(std::string(1000, 'k'));
    EXPECT_EQ(messageOf([&] { reg_.ReadValue("v"); }), "Reg Error: 00000057");

    // Garbage in place of the store is reported, and left for the user to repair.
    const std::string garbage = "\x01\x02 this is not a registry";
    {
        TempDir scratch;
        ASSERT_EQ(std::rename(scratch.write("g", garbage).c_str(), store_.c_str()), 0);
    }
    reg_.SetKey("Software\\Quorvana");
    EXPECT_EQ(messageOf([&] { reg_.ReadValue("Keep"); }), "Reg Error: 000003F1");
    EXPECT_EQ(messageOf([&] { reg_.WriteValue("Keep", ui::Variant("lost?")); }), "Reg Error: 000003F1");
    EXPECT_EQ(testing_support::readFile(store_), garbage);
}

TEST(Variant, TextConversionRefusesNull)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(ui::Variant().ToString(), "");
    EXPECT_EQ(ui::Variant(std::int32_t(-42)).ToString(), "-42");
    EXPECT_EQ(ui::Variant(1.5).ToString(), "1.5");
    EXPECT_EQ(ui::Variant(0.1).ToString(), "0.1");
    EXPECT_EQ(ui::Variant::Currency(12345).ToString(), "1.2345");
    EXPECT_EQ(ui::Variant::Currency(-5000).ToString(), "-0.5");
    EXPECT_EQ(ui::Variant::Currency(INT64_MIN).ToString(), "-922337203685477.5808");
    EXPECT_EQ(ui::Variant(true).ToString(), "True");
    try {
        ui::Variant::Null().ToString();
        ADD_FAILURE() << "null converted to text";
    } catch (const ui::EVariantError& e) {
        EXPECT_STREQ(e.what(), "Ungültige Varianten-Typkonvertierung");
    }
    EXPECT_THROW(ui::Variant::Date(1e300).ToString(), ui::EVariantError);
}
