// The engine's entry points and class objects, reached through dlopen.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine_loader.h"
#include "platform/registry.h"

using enginetest::Engine;
using enginetest::Ref;

namespace {

const GUID kUnknownClass = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

IClassFactory* ClassObject(const GUID& clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, Engine::Get().getClassObject(&clsid, &IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory)));
    return factory;
}

TEST(EngineEntry, AllSixEntryPointsAreExported) {
    Engine& e = Engine::Get();
    EXPECT_NE(nullptr, e.getClassObject);
    EXPECT_NE(nullptr, e.canUnloadNow);
    EXPECT_NE(nullptr, e.initQuilmet);
    EXPECT_NE(nullptr, e.exitQuilmet);
    EXPECT_NE(nullptr, e.registerServer);
    EXPECT_NE(nullptr, e.unregisterServer);
}

TEST(EngineEntry, GetClassObjectChecksItsArguments) {
    Engine& e = Engine::Get();
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              e.getClassObject(&kUnknownClass, &IID_IClassFactory, &out));
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), out) << "out must stay untouched";
    EXPECT_EQ(E_INVALIDARG, e.getClassObject(&CLSID_DSCursor, &IID_IClassFactory, nullptr));

    // Every class hands out its class object under IClassFactory and IUnknown.
    for (const GUID* clsid :
         {&CLSID_DSBase, &CLSID_DSCursor, &CLSID_DSPacketWriter, &CLSID_DSPacketReader}) {
        IUnknown* unknown = nullptr;
        ASSERT_EQ(S_OK, e.getClassObject(clsid, &IID_IUnknown, reinterpret_cast<void**>(&unknown)));
        ASSERT_NE(nullptr, unknown);
        EXPECT_EQ(0u, unknown->Release());
    }
    // A class object is not an engine object: asking it for one fails.
    out = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, e.getClassObject(&CLSID_DSBase, &IID_IDSBase, &out));
    EXPECT_EQ(nullptr, out);
}

TEST(ClassObject, QueryInterfaceRefusesOtherInterfacesAsClassNotAvailable) {
    Ref<IClassFactory> factory(ClassObject(CLSID_DSBase));
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, factory->QueryInterface(&IID_IDSCursor, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_INVALIDARG, factory->QueryInterface(&IID_IUnknown, nullptr));
    IUnknown* self = nullptr;
    EXPECT_EQ(S_OK, factory->QueryInterface(&IID_IUnknown, reinterpret_cast<void**>(&self)));
    EXPECT_EQ(3u, self->AddRef()) << "the test's reference, this one and the new one";
    self->Release();
    self->Release();
}

TEST(ClassObject, CreateInstanceAndAggregation) {
    Ref<IClassFactory> factory(ClassObject(CLSID_DSBase));
    IUnknown* outer = factory.get();  // any non-null object stands for an outer object

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, &IID_IDSBase, &out));
    EXPECT_EQ(nullptr, out);

    IUnknown* object = nullptr;
    EXPECT_EQ(S_OK,
              factory->CreateInstance(outer, &IID_IUnknown, reinterpret_cast<void**>(&object)));
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(0u, object->Release());

    EXPECT_EQ(E_INVALIDARG, factory->CreateInstance(nullptr, &IID_IDSBase, nullptr));
    // Wrong interface for the kind: the half-made object is destroyed.
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, &IID_IDSCursor, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, Engine::Get().canUnloadNow());
}

TEST(EngineObjects, ReferenceCountingAndQueryInterface) {
    Engine& e = Engine::Get();
    IDSBase* dataset = e.NewDataset();
    IDSCursor* cursor = e.NewCursor();
    IDSPacketWriter* writer = e.NewWriter();
    IDSPacketReader* reader = e.NewReader();
    ASSERT_TRUE(dataset && cursor && writer && reader);
    EXPECT_EQ(S_FALSE, e.canUnloadNow());

    EXPECT_EQ(2u, dataset->AddRef());
    EXPECT_EQ(1u, dataset->Release());

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, dataset->QueryInterface(&IID_IDSCursor, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_NOINTERFACE, writer->QueryInterface(&IID_IClassFactory, &out));
    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, reader->QueryInterface(&IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(1u, unknown->Release());

    EXPECT_EQ(0u, dataset->Release());
    EXPECT_EQ(0u, cursor->Release());
    EXPECT_EQ(0u, writer->Release());
    EXPECT_EQ(S_FALSE, e.canUnloadNow()) << "the reader is still alive";
    EXPECT_EQ(0u, reader->Release());
    EXPECT_EQ(S_OK, e.canUnloadNow());
}

TEST(EngineEntry, LockServerHoldsTheLibrary) {
    Engine& e = Engine::Get();
    Ref<IClassFactory> factory(ClassObject(CLSID_DSCursor));
    EXPECT_EQ(S_OK, e.canUnloadNow()) << "class objects do not count";
    EXPECT_EQ(S_OK, factory->LockServer(1));
    EXPECT_EQ(S_FALSE, e.canUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(0));
    EXPECT_EQ(S_OK, e.canUnloadNow());
    // A second unlock does not drive the count below zero.
    EXPECT_EQ(S_OK, factory->LockServer(0));
    EXPECT_EQ(S_OK, factory->LockServer(1));
    EXPECT_EQ(S_FALSE, e.canUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(0));
    EXPECT_EQ(S_OK, e.canUnloadNow());
}

TEST(EngineEntry, HousekeepingObjectHandsOutUncountedDatasets) {
    Engine& e = Engine::Get();
    void* q = nullptr;
    ASSERT_EQ(S_OK, e.initQuilmet(&q));
    ASSERT_NE(nullptr, q);
    auto* quilmet = static_cast<IQuilmet*>(q);
    IDSBase* dataset = nullptr;
    ASSERT_EQ(0u, quilmet->MakeDataset(&dataset));
    ASSERT_NE(nullptr, dataset);
    EXPECT_EQ(1u, dataset->AddRef()) << "handed out with count 0";
    EXPECT_EQ(0u, dataset->Release());
    EXPECT_EQ(S_OK, e.exitQuilmet(&q));
    EXPECT_EQ(nullptr, q);
    EXPECT_EQ(S_OK, e.exitQuilmet(&q)) << "freeing nothing is harmless";
    EXPECT_EQ(S_OK, e.canUnloadNow());
}

TEST(EngineEntry, ObjectCountSurvivesConcurrentCreation) {
    Engine& e = Engine::Get();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&e] {
            for (int i = 0; i < 2000; ++i) {
                IDSPacketWriter* w = e.NewWriter();
                IDSBase* d = e.NewDataset();
                if (w) w->Release();
                if (d) d->Release();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(S_OK, e.canUnloadNow()) << "a lost update leaves the library pinned or unloadable";
}

class Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("pelmora-registry-" + std::to_string(::getpid()) + ".reg");
        std::filesystem::remove(path_);
        setenv("SARVENU_REGISTRY", path_.c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove(path_);
        unsetenv("SARVENU_REGISTRY");
    }
    static std::string Get(const std::string& key, const std::string& name = "") {
        std::string value;
        return platform::RegGetString(key, name, &value) ? value : std::string("<missing>");
    }
    std::filesystem::path path_;
};

TEST_F(Registration, RegisterWritesTheSixEntriesAndUnregisterRemovesThem) {
    Engine& e = Engine::Get();
    ASSERT_EQ(S_OK, e.registerServer());
    const std::string base = StringFromGUID(CLSID_DSBase);
    const std::string cursor = StringFromGUID(CLSID_DSCursor);
    const std::string reader = StringFromGUID(CLSID_DSPacketReader);
    const std::string writer = StringFromGUID(CLSID_DSPacketWriter);

    std::string server = Get("CLSID\\" + base + "\\InProcServer32");
    EXPECT_EQ("libpelmora.so", std::filesystem::path(server).filename().string());
    EXPECT_TRUE(std::filesystem::exists(server));
    EXPECT_EQ("Apartment", Get("CLSID\\" + base + "\\InProcServer32", "ThreadingModel"));
    EXPECT_EQ("Dravik Pelmora DSBase 1", Get("CLSID\\" + base));
    EXPECT_EQ("Dravik.Pelmora_DSBase.1", Get("CLSID\\" + base + "\\ProgID"));
    EXPECT_EQ("Dravik.Pelmora_DSBase", Get("CLSID\\" + base + "\\VersionIndependentProgID"));
    EXPECT_EQ("Dravik Pelmora DSBase Current", Get("Dravik.Pelmora_DSBase"));
    EXPECT_EQ("Dravik.Pelmora_DSBase.1", Get("Dravik.Pelmora_DSBase\\CurVer"));
    EXPECT_EQ(base, Get("Dravik.Pelmora_DSBase\\Clsid"));
    EXPECT_EQ(cursor, Get("Dravik.Pelmora_DSCursor.1\\Clsid"));
    EXPECT_EQ("Dravik Pelmora DatapacketRead", Get("CLSID\\" + reader));
    EXPECT_EQ("<missing>", Get("CLSID\\" + reader + "\\VersionIndependentProgID"));
    EXPECT_EQ("Dravik.Pelmora_DatapacketWrite.1", Get("CLSID\\" + writer + "\\ProgID"));
    // An entry with CurVer writes nothing under the class key.
    EXPECT_EQ("Dravik.Pelmora_DSCursor.1", Get("CLSID\\" + cursor + "\\ProgID"));

    ASSERT_EQ(S_OK, e.unregisterServer());
    for (const std::string& clsid : {base, cursor, reader, writer}) {
        EXPECT_FALSE(platform::RegKeyExists("CLSID\\" + clsid)) << clsid;
        EXPECT_FALSE(platform::RegKeyExists("CLSID\\" + clsid + "\\InProcServer32")) << clsid;
    }
    for (const char* progId :
         {"Dravik.Pelmora_DSBase", "Dravik.Pelmora_DSBase.1", "Dravik.Pelmora_DSCursor",
          "Dravik.Pelmora_DSCursor.1", "Dravik.Pelmora_DatapacketRead.1",
          "Dravik.Pelmora_DatapacketWrite.1"}) {
        EXPECT_FALSE(platform::RegKeyExists(progId)) << progId;
    }
    // Removing what is not there is not an error.
    EXPECT_EQ(S_OK, e.unregisterServer());
}

}  // namespace
