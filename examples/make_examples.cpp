// Writes the two demo packages of examples/ with the test package builder:
//   Demo.DWN       a standard project for an A-01 CPU: parameter data, three programs
//   LinuxDemo.DWN  a Linux-family project for an A-21 CPU: programs, three ST programs and
//                  the global tables
// Usage: make_examples OUTPUT_FOLDER
#include "PackageBuilder.h"

#include <cstdio>
#include <string>

using dlu::test::Bytes;
using dlu::test::PackageBuilder;
using dlu::test::Scheme;

namespace {

// Recognisable, repeatable contents: a program of `size` bytes that counts from `seed`.
Bytes programBytes(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];

    PackageBuilder()
        .project("Demo", 0)
        .program(0, "Main", 1)
        .program(4, "Alarm", 2)
        .program(12, "ColdStart", 3)
        .xpLink(false)
        .linkPrograms({programBytes(900, 1), programBytes(300, 2), programBytes(120, 3)})
        .parameterData(programBytes(400, 9))
        .write(folder + "/Demo.DWN");

    PackageBuilder()
        .project("LinuxDemo", 26)
        .program(0, "Main", 1)
        .program(4, "Conveyor", 2)
        .xpLink(true)
        .linkPrograms({programBytes(1500, 4), programBytes(600, 5)})
        .parameterData(programBytes(1200, 6))
        .innerScheme(Scheme::Current)
        .st(0, "Init")
        .st(5, "Control")
        .st(127, "Monitor")
        .write(folder + "/LinuxDemo.DWN");

    std::printf("wrote %s/Demo.DWN and %s/LinuxDemo.DWN\n", folder.c_str(), folder.c_str());
    return 0;
}
