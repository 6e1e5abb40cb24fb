// The sim's registry, which must answer as Windows does where the program
// depends on it.
#include <string>
#include <vector>

#include "sim_fixture.h"

using SimRegistryTest = SimTest;

namespace {

const char kKey[] = "SOFTWARE\\Test";

}  // namespace

TEST_F(SimRegistryTest, ValuesAreStoredAsGivenAndReadBackWithTheirSize) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const BYTE text[] = "abc";
  ASSERT_EQ(RegSetValueExA(key, "WithZero", 0, REG_SZ, text, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "WithoutZero", 0, REG_SZ, text, 3), ERROR_SUCCESS);

  sim::RegistryValue stored;
  ASSERT_TRUE(sim::registryValue(HKEY_LOCAL_MACHINE, "software\\test", "withzero", &stored));
  EXPECT_EQ(stored.data, std::string("abc\0", 4));
  ASSERT_TRUE(sim::registryValue(HKEY_LOCAL_MACHINE, kKey, "WithoutZero", &stored));
  EXPECT_EQ(stored.data, "abc");

  BYTE buffer[2];
  DWORD type = 0, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "WithZero", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "WithZero", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\TEST", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  EXPECT_EQ(sim::openRegistryKeyCount(), 0);
}

TEST_F(SimRegistryTest, ARefusedSubtreeCanBeReadButNotOpenedForWriting) {
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kKey, "Value", "x");
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SOFTWARE");
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2), ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS)
      << "only the subtree refuses";
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(SimRegistryTest, DeletingAKeyWithSubkeysIsRefusedOnNTAndTakesTheSubtreeOn9x) {
  sim::setRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Product", "Value", "x");
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Vendor"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(sim::registryKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Product"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "software\\vendor\\product"), ERROR_SUCCESS)
      << "a key with values but no subkeys goes";
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Product"));
  EXPECT_TRUE(sim::registryKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Vendor"));

  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  sim::setRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Product\\Deep", "Value", "x");
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Vendor"), ERROR_SUCCESS);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Product\\Deep"));
  EXPECT_TRUE(sim::registryKeyExists(HKEY_CURRENT_USER, "SOFTWARE"));

  sim::setRegistryText(HKEY_LOCAL_MACHINE, kKey, "Value", "x");
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey), ERROR_ACCESS_DENIED);
}

TEST_F(SimRegistryTest, ValuesAreDeletedAndCountedAndADeletedKeysHandleNamesNothing) {
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kKey, "First", "x");
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kKey, "Second", "xyz");
  sim::setRegistryText(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Child", "", "x");
  sim::setRegistryText(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Child\\Grandchild", "", "x");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD subKeys = 9, values = 9;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u) << "only the key's own children count";
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(RegDeleteValueA(key, "first"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "First"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(sim::registryValueNames(HKEY_LOCAL_MACHINE, kKey), std::vector<std::string>{"Second"});

  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, "Child\\Grandchild", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "Child\\Grandchild"), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(child, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_KEY_DELETED);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Child\\Grandchild"));
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &reader), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(reader, "Second"), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);
  RegCloseKey(key);
}
