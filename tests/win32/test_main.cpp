// The doctest runner of the Windows-side tests (run under Wine here).
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <windows.h>
#include <objbase.h>

int main(int argc, char **argv)
{
    // As the program's user-interface thread would be: COM in a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    doctest::Context context(argc, argv);
    const int result = context.run();
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
