// pelmora-table: looks into and converts the engine's table files for the
// people who look after installations.
//
//   pelmora-table show FILE [--json]   columns, parameters, rows and change log
//   pelmora-table convert IN OUT       binary <-> XML (OUT ending in ".xml" gets XML)
//   pelmora-table verify FILE          exit 0 when the file loads as a dataset
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine.h"
#include "packet_model.h"
#include "printer.h"

namespace {

using tabletool::Engine;

constexpr uint32_t kXmlDocumentWithMetadata = 5;

int Usage() {
    std::fprintf(stderr,
                 "usage: pelmora-table show FILE [--json]\n"
                 "       pelmora-table convert IN OUT   (OUT ending in .xml is written as XML)\n"
                 "       pelmora-table verify FILE\n");
    return 2;
}

bool EndsWithXml(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".xml";
}

int Fail(const Engine& engine, const std::string& what, uint32_t code) {
    const uint16_t low = ResultCode(code);
    std::fprintf(stderr, "%s: %u %s\n", what.c_str(), low, engine.Message(low).c_str());
    return 1;
}

// Loads a file as a dataset; null with *code set on failure.
pelmora::Ref<IDSBase> LoadDataset(const Engine& engine, const std::string& bytes, uint32_t* code) {
    pelmora::Ref<IDSBase> dataset(engine.NewDataset());
    if (!dataset) {
        *code = DSERR_NOMEMORY;
        return {};
    }
    pelmora::ByteArray packet(bytes.data(), bytes.size());
    *code = dataset->LoadPacket(packet.get(), 1);
    if (*code != 0) return {};
    return dataset;
}

int Show(const Engine& engine, const std::string& path, bool json) {
    std::string bytes;
    if (!tabletool::ReadFile(path, &bytes)) {
        std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
        return 1;
    }
    uint32_t code = 0;
    tabletool::PacketModel model;
    {
        pelmora::Ref<IDSPacketReader> reader(engine.NewReader());
        if (!reader) return Fail(engine, path, DSERR_NOMEMORY);
        pelmora::ByteArray packet(bytes.data(), bytes.size());
        code = tabletool::ReadModel(reader.get(), packet.get(), &model);
    }
    if (code != 0) return Fail(engine, path, code);
    if (json)
        tabletool::PrintJson(model, std::cout);
    else
        tabletool::PrintText(model, std::cout);
    return 0;
}

int Convert(const Engine& engine, const std::string& in, const std::string& out) {
    std::string bytes;
    if (!tabletool::ReadFile(in, &bytes)) {
        std::fprintf(stderr, "%s: cannot read the file\n", in.c_str());
        return 1;
    }
    uint32_t code = 0;
    pelmora::Ref<IDSBase> dataset = LoadDataset(engine, bytes, &code);
    if (!dataset) return Fail(engine, in, code);
    code =
        dataset->WriteProperty(PROP_XML_MODE, EndsWithXml(out) ? kXmlDocumentWithMetadata : 0);
    SAFEARRAY* packet = nullptr;
    if (code == 0) code = dataset->WritePacket(&packet);
    dataset.reset();
    if (code != 0) return Fail(engine, out, code);
    const std::vector<uint8_t> written = pelmora::TakeBytes(packet);
    if (!tabletool::WriteFileAtomically(out, written.data(), written.size())) {
        std::fprintf(stderr, "%s: cannot write the file\n", out.c_str());
        return 1;
    }
    return 0;
}

int Verify(const Engine& engine, const std::string& path) {
    std::string bytes;
    if (!tabletool::ReadFile(path, &bytes)) {
        std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
        return 1;
    }
    uint32_t code = 0;
    if (!LoadDataset(engine, bytes, &code)) return Fail(engine, path, code);
    std::printf("%s: ok\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    Engine engine;
    std::string error;
    if (!engine.Load(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (command == "show" && (argc == 3 || (argc == 4 && std::strcmp(argv[3], "--json") == 0)))
        return Show(engine, argv[2], argc == 4);
    if (command == "convert" && argc == 4) return Convert(engine, argv[2], argv[3]);
    if (command == "verify" && argc == 3) return Verify(engine, argv[2]);
    return Usage();
}
