// Writes Transformadores/Transformado=VALUE into an INI file, as the window program does when it
// closes in embedded mode, so that the fault tests can kill or starve that write.
//
//     faults_horvex_ini FILE VALUE

#include "app/HorvexIni.h"
#include "text/error.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "uso: faults_horvex_ini ARCHIVO VALOR\n";
        return 2;
    }
    try {
        pelmira::app::writeIniValue(argv[1], "Transformadores", "Transformado", argv[2]);
    } catch (const pelmira::Error& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
