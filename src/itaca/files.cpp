// Paths, opening and error reasons for the centre document's loading and saving.

#include "itaca/files.h"

#include <cerrno>
#include <cstring>

namespace pelmira::itaca {

namespace fs = std::filesystem;

std::string displayName(const fs::path& file) {
    const std::u8string s = file.u8string();
    return std::string(s.begin(), s.end());
}

std::FILE* openFile(const fs::path& file, const char* mode) {
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(file.c_str(), wmode.c_str());
#else
    return std::fopen(file.c_str(), mode);
#endif
}

std::string reason(int err) {
    switch (err) {
    case 0:
        return "error desconocido";
    case ENOENT:
        return "no existe el archivo o la carpeta";
    case EACCES:
    case EPERM:
        return "permiso denegado";
    case ENOTDIR:
        return "una parte de la ruta no es una carpeta";
    case EISDIR:
        return "es una carpeta";
    case ENOSPC:
        return "no queda espacio en el disco";
    case EROFS:
        return "el sistema de archivos es de solo lectura";
    case ENAMETOOLONG:
        return "el nombre es demasiado largo";
    case EBUSY:
    case ETXTBSY:
        return "el archivo está en uso";
    case EIO:
        return "error de entrada/salida";
    default:
        return std::strerror(err);
    }
}

} // namespace pelmira::itaca
