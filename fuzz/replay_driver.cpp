// Stand-in for libFuzzer's main when building with gcc: replays every file of the corpus folder
// given as the first argument, then a fixed number of pseudo-random inputs derived from them.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::vector<uint8_t>> corpus;
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty())
        corpus.push_back({});
    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937 rng(20261206);
    const int rounds = 4000;
    for (int i = 0; i < rounds; ++i) {
        std::vector<uint8_t> input = corpus[rng() % corpus.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const auto op = rng() % 4;
            if (op == 0 && !input.empty())
                input[rng() % input.size()] = static_cast<uint8_t>(rng());
            else if (op == 1)
                input.insert(input.begin() + static_cast<long>(input.empty() ? 0 : rng() % input.size()),
                    static_cast<uint8_t>(rng()));
            else if (op == 2 && !input.empty())
                input.erase(input.begin() + static_cast<long>(rng() % input.size()));
            else if (op == 3 && input.size() > 1)
                input.resize(rng() % input.size());
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu corpus files and %d mutated inputs ran without a fault\n", corpus.size(), rounds);
    return 0;
}
