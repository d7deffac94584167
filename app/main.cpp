// Entry point of velmora.exe. The command line is not used.
#include <windows.h>

#include "app/GeneratorApp.h"

namespace {
velmora::CGeneratorApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return theApp.Run(instance); }
