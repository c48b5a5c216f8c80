#include "platform/error_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace pelmira::platform {

namespace {

// The system's own message for `code`, in UTF-8, without the line break it ends with; empty when
// the system has none.
std::string formatMessage(DWORD code, DWORD language) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return {};
    std::wstring wide(buffer, length);
    ::LocalFree(buffer);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' ||
                             wide.back() == L'.'))
        wide.pop_back();
    if (wide.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
    // The system's sentences start with a capital; ours follow a colon.
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

} // namespace

std::string systemErrorText(long code) {
    const DWORD err = static_cast<DWORD>(code);
    switch (err) {
    case ERROR_SUCCESS:
        return "error desconocido";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no existe el archivo o la carpeta";
    case ERROR_ACCESS_DENIED:
        return "permiso denegado";
    case ERROR_DIRECTORY:
        return "una parte de la ruta no es una carpeta";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "no queda espacio en el disco";
    case ERROR_WRITE_PROTECT:
        return "el sistema de archivos es de solo lectura";
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return "el nombre es demasiado largo";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "el archivo está en uso";
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE:
        return "error de entrada/salida";
    default:
        break;
    }
    std::string text = formatMessage(err, MAKELANGID(LANG_SPANISH, SUBLANG_DEFAULT));
    if (text.empty())
        text = formatMessage(err, 0); // the user's language, else the system's
    if (text.empty())
        text = "error del sistema " + std::to_string(static_cast<unsigned long>(err));
    return text;
}

} // namespace pelmira::platform
