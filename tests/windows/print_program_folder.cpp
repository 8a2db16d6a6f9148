// Writes the program folder, as the program sees it, into "program-folder.txt" in that folder
// (UTF-8). The program-folder test copies this program into folders of its choosing.
#include <fstream>

#include "platform/file_system.h"

int main() {
    const auto folder = fwu::platform::programFolder();
    if (!folder)
        return 2;
    std::ofstream out(*folder / "program-folder.txt", std::ios::binary);
    const std::u8string text = folder->u8string();
    out.write(reinterpret_cast<const char*>(text.data()),
              static_cast<std::streamsize>(text.size()));
    out.close();
    return out ? 0 : 3;
}
