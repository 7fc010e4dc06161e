// Writes the shipped aircraft's model: wh_make_aircraft <file.glb>. The repository keeps its
// output as assets/models/trainer.glb; a unit test fails when the two differ.

#include <fstream>
#include <string>

#include "console/Console.h"
#include "tools/aircraft/AircraftBuilder.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        console::eprint("usage: {} <file.glb>\n", argv[0]);
        return 2;
    }
    const std::string bytes = aircraft::make_trainer_glb();
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write {}\n", console::quoted(std::string_view(argv[1])));
        return 1;
    }
    console::print("Wrote {} ({} bytes)\n", console::quoted(std::string_view(argv[1])), bytes.size());
    return 0;
}
