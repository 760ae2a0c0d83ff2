// make-demo-samples.exe ROOT\ : fills ROOT with the demo's crafted samples.
// Nothing here is real malware: the samples only carry the CRCs that the
// signature table looks for (see tests/support/fixtures.h).
#include "fixtures.h"
#include "infected_host.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Filler(uint32_t size, uint8_t seed)
{
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i)
        data[i] = (uint8_t)(seed + i * 29 + (i >> 7));
    return data;
}

bool Write(const std::string &path, const std::vector<uint8_t> &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = fclose(f) == 0 && ok;
    printf("  %-40s %7u bytes\n", path.c_str(), (unsigned)data.size());
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: make-demo-samples ROOT\\\n");
        return 2;
    }
    std::string root = argv[1];
    const char *dirs[] = {"Downloads", "Games", "Tools", "Apps", "Archive", "Archive\\2019",
                          "Archive\\2019\\old"};
    for (const char *d : dirs)
        CreateDirectoryA((root + d).c_str(), NULL);

    std::vector<uint8_t> clean = CleanHostProgram();
    std::vector<uint8_t> infected = MakeInfectedHost(clean);
    std::vector<uint8_t> dropperBig = MakeSignatureSample(3, 72192);
    dropperBig.push_back(0);
    std::vector<uint8_t> almost = Filler(72191, 3);
    ForceSignatureRow(almost, 4);

    bool ok = !infected.empty();
    printf("malware files (one for each signature row 0-3):\n");
    ok &= Write(root + "Downloads\\setup.exe", MakeSignatureSample(0, 20000));
    ok &= Write(root + "Downloads\\update.dll", MakeSignatureSample(1, 12000));
    ok &= Write(root + "Games\\launcher.ex", MakeSignatureSample(2, 16000));
    ok &= Write(root + "Tools\\dropper.exe", MakeSignatureSample(3, 72192));
    ok &= Write(root + "Archive\\2019\\old\\worm.e1", MakeSignatureSample(0, 5632));
    printf("an infected host program (row 4) and the clean program it was made from:\n");
    ok &= Write(root + "Apps\\editor.exe", infected);
    ok &= Write(root + "Apps\\viewer.exe", clean);
    printf("near misses and clean files:\n");
    ok &= Write(root + "Downloads\\setup.txt", MakeSignatureSample(0, 20000));
    ok &= Write(root + "Tools\\dropper-big.exe", dropperBig);
    ok &= Write(root + "Apps\\almost.exe", almost);
    ok &= Write(root + "Archive\\2019\\old\\tool.exe", Filler(30000, 7));
    ok &= Write(root + "Games\\readme.dll", Filler(4000, 11));
    return ok ? 0 : 1;
}
