#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

// Without libFuzzer, a fuzz target runs every input of the folders or files it is given once:
// the seed corpus and any input kept after a finding become an ordinary test.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsIn(const fs::path& location) {
    if (!fs::is_directory(location))
        return {location};
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(location)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& input : inputsIn(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            if (!file) {
                std::cerr << "Cannot read " << input << "\n";
                return 1;
            }
            const std::istreambuf_iterator<char> begin(file);
            const std::istreambuf_iterator<char> end;
            const std::vector<std::uint8_t> bytes(begin, end);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::cout << replayed << " inputs replayed\n";
    return replayed > 0 ? 0 : 1;  // an empty corpus tests nothing
}
