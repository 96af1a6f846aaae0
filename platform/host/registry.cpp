// The registry: keys and values in memory, names without regard to case,
// values with their type and exact bytes.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/host/model_state.h"

using namespace host::model;

namespace
{

const LSTATUS kBadPathname = 161;  // ERROR_BAD_PATHNAME
const REGSAM kQueryValue = 0x0001; // KEY_QUERY_VALUE
const REGSAM kSetValue = 0x0002;   // KEY_SET_VALUE
// KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE, WRITE_DAC,
// WRITE_OWNER: what a user without rights on the machine's keys is refused.
const REGSAM kWriteAccess = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000;

const char kMachine[] = "hklm";
const char kUser[] = "hkcu";

bool UnderMachine(const std::string& lowerPath)
{
    return lowerPath.compare(0, 4, kMachine) == 0;
}

// Splits "a\b\c" into its parts; false for an empty part (a leading or a
// doubled backslash). One trailing backslash is allowed.
bool SplitPath(const std::string& path, std::vector<std::string>* parts)
{
    parts->clear();
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty())
            return false;
        parts->push_back(part);
        if (end == std::string::npos)
            return true;
        start = end + 1;
        if (start == path.size())
            return true;
    }
}

// Creates the key below `base` (an existing key) and its missing parents.
// Returns the key's lower-case path; *created tells whether the key itself
// was missing.
std::string CreatePath(const std::string& base, const std::vector<std::string>& parts,
                       const std::string& className, bool* created)
{
    State& s = S();
    std::string lower = base;
    std::string display = s.keys.at(base).path;
    *created = false;
    for (const std::string& part : parts) {
        lower += "\\" + Lower(part);
        display += "\\" + part;
        auto key = s.keys.find(lower);
        if (key == s.keys.end()) {
            s.keys[lower] = RegKey{display, className, {}};
            *created = true;
        } else {
            display = key->second.path;
            *created = false;
        }
    }
    return lower;
}

// "HKLM\Software\..." as tests write it: the lower-case root and the parts.
std::string TestRoot(const std::string& key, std::vector<std::string>* parts)
{
    size_t slash = key.find('\\');
    std::string root = Lower(key.substr(0, slash));
    std::string rest = slash == std::string::npos ? "" : key.substr(slash + 1);
    if (root == "hkey_local_machine")
        root = kMachine;
    else if (root == "hkey_current_user")
        root = kUser;
    if ((root != kMachine && root != kUser) || !SplitPath(rest, parts))
        throw std::invalid_argument("not a registry key the host model knows: \"" + key + "\"");
    return root;
}

std::string TestKeyPath(const std::string& key)
{
    std::vector<std::string> parts;
    std::string path = TestRoot(key, &parts);
    for (const std::string& part : parts)
        path += "\\" + Lower(part);
    return path;
}

RegKey* LookupKey(const std::string& lowerPath)
{
    auto key = S().keys.find(lowerPath);
    return key == S().keys.end() ? nullptr : &key->second;
}

RegValue* LookupValue(RegKey* key, const char* name)
{
    std::string wanted = name == nullptr ? "" : name;
    for (RegValue& value : key->values)
        if (SameName(value.name, wanted))
            return &value;
    return nullptr;
}

// The key a handle stands for, with the access it was opened with; false
// for a handle that is not open. The two roots are always open.
bool Resolve(HKEY handle, OpenKey* key)
{
    const State& s = S();
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
        key->path = handle == HKEY_LOCAL_MACHINE ? kMachine : kUser;
        key->access =
            (s.denyMachineKeys && handle == HKEY_LOCAL_MACHINE) ? KEY_READ : KEY_ALL_ACCESS;
        return true;
    }
    auto open = s.openKeys.find(Raw(handle));
    if (open == s.openKeys.end())
        return false;
    *key = open->second;
    return true;
}

std::string KeyLabel(HKEY handle)
{
    OpenKey key;
    if (!Resolve(handle, &key))
        return "(bad key " + Hex(Raw(handle)) + ")";
    return LookupKey(key.path)->path;
}

std::string ValueLabel(LPCSTR name)
{
    return name == nullptr || *name == '\0' ? "(default)" : Text(name);
}

bool IsString(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

void StoreValue(RegKey* key, const std::string& name, DWORD type, const std::string& bytes)
{
    RegValue* existing = LookupValue(key, name.c_str());
    if (existing != nullptr) {
        existing->type = type;
        existing->bytes = bytes;
    } else {
        key->values.push_back(RegValue{name, type, bytes});
    }
}

} // namespace

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
{
    (void)dwOptions;
    (void)lpSecurityAttributes;
    CallScope call("RegCreateKeyExA",
                   KeyLabel(hKey) +
                       (lpSubKey != nullptr && *lpSubKey != '\0' ? "\\" + Text(lpSubKey) : ""));
    if (phkResult == nullptr)
        Unsupported("RegCreateKeyExA without a place for the key handle");
    *phkResult = nullptr;
    OpenKey base;
    if (!Resolve(hKey, &base))
        return call.Fail<LSTATUS>(ERROR_INVALID_HANDLE);
    std::vector<std::string> parts;
    if (Reserved != 0)
        return call.Fail<LSTATUS>(ERROR_INVALID_PARAMETER);
    if (!SplitPath(lpSubKey == nullptr ? "" : lpSubKey, &parts))
        return call.Fail<LSTATUS>(kBadPathname);
    if (call.Injected())
        return call.Fail<LSTATUS>(ERROR_ACCESS_DENIED);

    std::string lower = base.path;
    for (const std::string& part : parts)
        lower += "\\" + Lower(part);
    const bool exists = LookupKey(lower) != nullptr;
    if (S().denyMachineKeys && UnderMachine(lower) && ((samDesired & kWriteAccess) != 0 || !exists))
        return call.Fail<LSTATUS>(ERROR_ACCESS_DENIED);

    bool created = false;
    CreatePath(base.path, parts, lpClass == nullptr ? "" : lpClass, &created);
    HKEY handle = Make<HKEY>(NewHandle(HandleKind::Key));
    S().openKeys[Raw(handle)] = OpenKey{lower, samDesired};
    *phkResult = handle;
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData)
{
    CallScope call("RegQueryValueExA", ValueLabel(lpValueName));
    OpenKey open;
    if (!Resolve(hKey, &open))
        return call.Fail<LSTATUS>(ERROR_INVALID_HANDLE);
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return call.Fail<LSTATUS>(ERROR_INVALID_PARAMETER);
    if ((open.access & kQueryValue) == 0)
        return call.Fail<LSTATUS>(ERROR_ACCESS_DENIED);
    if (call.Injected())
        return call.Fail<LSTATUS>(ERROR_NOT_ENOUGH_MEMORY);
    const RegValue* value = LookupValue(LookupKey(open.path), lpValueName);
    if (value == nullptr)
        return call.Fail<LSTATUS>(ERROR_FILE_NOT_FOUND);
    if (lpType != nullptr)
        *lpType = value->type;
    if (lpcbData == nullptr)
        return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(value->bytes.size());
    if (lpData != nullptr && *lpcbData < size) {
        *lpcbData = size;
        return call.Fail<LSTATUS>(ERROR_MORE_DATA);
    }
    if (lpData != nullptr && size != 0)
        std::memcpy(lpData, value->bytes.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData)
{
    CallScope call("RegSetValueExA", ValueLabel(lpValueName));
    OpenKey open;
    if (!Resolve(hKey, &open))
        return call.Fail<LSTATUS>(ERROR_INVALID_HANDLE);
    if (Reserved != 0 || (lpData == nullptr && cbData != 0))
        return call.Fail<LSTATUS>(ERROR_INVALID_PARAMETER);
    const char* text = reinterpret_cast<const char*>(lpData);
    // A string's length must count its NUL, and only that one NUL.
    if (IsString(dwType) &&
        (cbData == 0 || text[cbData - 1] != '\0' || std::memchr(text, '\0', cbData - 1) != nullptr))
        AddMisuse("RegSetValueExA " + ValueLabel(lpValueName) + ": cbData " +
                  std::to_string(cbData) + " is not the string's length plus its NUL");
    if ((open.access & kSetValue) == 0 || call.Injected())
        return call.Fail<LSTATUS>(ERROR_ACCESS_DENIED);
    StoreValue(LookupKey(open.path), lpValueName == nullptr ? "" : lpValueName, dwType,
               std::string(text == nullptr ? "" : text, cbData));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    CallScope call("RegDeleteValueA", ValueLabel(lpValueName));
    OpenKey open;
    if (!Resolve(hKey, &open))
        return call.Fail<LSTATUS>(ERROR_INVALID_HANDLE);
    if ((open.access & kSetValue) == 0 || call.Injected())
        return call.Fail<LSTATUS>(ERROR_ACCESS_DENIED);
    RegKey* key = LookupKey(open.path);
    const RegValue* value = LookupValue(key, lpValueName);
    if (value == nullptr)
        return call.Fail<LSTATUS>(ERROR_FILE_NOT_FOUND);
    key->values.erase(key->values.begin() + (value - key->values.data()));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    CallScope call("RegCloseKey", KeyLabel(hKey));
    // The roots are never really opened; closing them does nothing.
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    auto open = S().openKeys.find(Raw(hKey));
    if (open == S().openKeys.end())
        return call.Fail<LSTATUS>(ERROR_INVALID_HANDLE);
    if (call.Injected())
        return call.Fail<LSTATUS>(ERROR_NOT_ENOUGH_MEMORY);
    S().openKeys.erase(open);
    return ERROR_SUCCESS;
}

namespace host
{

void RegistryAddKey(const std::string& key, const std::string& className)
{
    std::vector<std::string> parts;
    std::string root = TestRoot(key, &parts);
    bool created = false;
    CreatePath(root, parts, className, &created);
}

void RegistryPut(const std::string& key, const std::string& name, DWORD type,
                 const std::string& bytes)
{
    std::vector<std::string> parts;
    std::string root = TestRoot(key, &parts);
    bool created = false;
    std::string path = CreatePath(root, parts, "", &created);
    StoreValue(LookupKey(path), name, type, bytes);
}

bool RegistryGet(const std::string& key, const std::string& name, DWORD* type, std::string* bytes)
{
    RegKey* found = LookupKey(TestKeyPath(key));
    const RegValue* value = found == nullptr ? nullptr : LookupValue(found, name.c_str());
    if (value == nullptr)
        return false;
    if (type != nullptr)
        *type = value->type;
    if (bytes != nullptr)
        *bytes = value->bytes;
    return true;
}

bool RegistryKeyExists(const std::string& key)
{
    return LookupKey(TestKeyPath(key)) != nullptr;
}

std::string RegistryKeyClass(const std::string& key)
{
    const RegKey* found = LookupKey(TestKeyPath(key));
    return found == nullptr ? "" : found->className;
}

int RegistryValueCount(const std::string& key)
{
    const RegKey* found = LookupKey(TestKeyPath(key));
    return found == nullptr ? 0 : static_cast<int>(found->values.size());
}

void DenyMachineKeyAccess(bool deny)
{
    S().denyMachineKeys = deny;
}

int OpenKeyCount()
{
    return static_cast<int>(S().openKeys.size());
}

} // namespace host
