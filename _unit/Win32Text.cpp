#include "Win32Text.h"

#ifdef _WIN32

#include <windows.h>

bool Utf8ToWide(std::string_view Text, std::wstring& Wide)
{
    Wide.clear();
    if (Text.empty()) return true;
    if (Text.size() > 0x7FFFFFFF) return false;
    const int Size = static_cast<int>(Text.size());
    const int Count = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), Size, nullptr, 0);
    if (Count <= 0) return false;
    Wide.resize(static_cast<size_t>(Count));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), Size, Wide.data(), Count);
    return true;
}

std::string WideToUtf8(std::wstring_view Wide)
{
    if (Wide.empty() || Wide.size() > 0x7FFFFFFF) return {};
    const int Size = static_cast<int>(Wide.size());
    const int Count = ::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), Size, nullptr, 0, nullptr, nullptr);
    if (Count <= 0) return {};
    std::string Text(static_cast<size_t>(Count), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), Size, Text.data(), Count, nullptr, nullptr);
    return Text;
}

bool WidePath(std::string_view Path, std::wstring& Wide)
{
    if (!Utf8ToWide(Path, Wide)) return false;
    if (Wide.size() < MAX_PATH || Wide.starts_with(L"\\\\?\\")) return true;
    const DWORD Need = ::GetFullPathNameW(Wide.c_str(), 0, nullptr, nullptr);
    if (Need == 0) return true;  // the open call will say what is wrong with it
    std::wstring Full(Need, L'\0');
    const DWORD Got = ::GetFullPathNameW(Wide.c_str(), Need, Full.data(), nullptr);
    if (Got == 0 || Got >= Need) return true;
    Full.resize(Got);
    if (Full.starts_with(L"\\\\.\\")) return true;  // a device name
    if (Full.starts_with(L"\\\\"))
        Wide = L"\\\\?\\UNC\\" + Full.substr(2);
    else
        Wide = L"\\\\?\\" + Full;
    return true;
}

std::string SystemErrorText(unsigned long Code)
{
    wchar_t* Buffer = nullptr;
    const DWORD Length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
    std::wstring Text = Length > 0 && Buffer != nullptr ? std::wstring(Buffer, Length) : std::wstring();
    if (Buffer != nullptr) ::LocalFree(Buffer);
    while (!Text.empty() && (Text.back() == L'\n' || Text.back() == L'\r' || Text.back() == L' ')) Text.pop_back();
    if (Text.empty()) return "System error " + std::to_string(Code);
    return WideToUtf8(Text);
}

#endif
