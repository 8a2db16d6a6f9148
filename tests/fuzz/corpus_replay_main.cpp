#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

// Without libFuzzer, a fuzz target runs each input of the folder it is given once: the seed
// corpus, and any input kept there after a finding, become an ordinary test.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (const auto& input : std::filesystem::directory_iterator(argc > 1 ? argv[1] : ".")) {
        std::ifstream file(input.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++replayed;
    }
    std::cout << replayed << " inputs replayed\n";
    return replayed > 0 ? 0 : 1;  // an empty corpus tests nothing
}
