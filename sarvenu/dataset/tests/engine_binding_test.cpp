// Binding the engine: the registry entry is used when present, a bad entry
// is reported with the load error, and without one the library is loaded by
// name and registers itself.
#include <gtest/gtest.h>

#include "dataset/client_table.h"
#include "dataset/engine_binding.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "table_files.h"

using namespace sarvenu;

namespace {

TEST(EngineBinding, RegistryEntryIsUsedAndABadOneIsReported) {
    std::string saved;
    bool had = platform::RegGetString(engine::EngineRegistryKey(), "", &saved);
    ASSERT_TRUE(
        platform::RegSetString(engine::EngineRegistryKey(), "", "/nonexistent/libpelmora.so"));
    try {
        engine::LoadEngineLibrary();
        ADD_FAILURE() << "a missing library loaded";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), platform::Utf8ToCp932("PELMORA.DLL の読み込みエラー"));
    }
    // Without an entry the library is loaded by name and registers itself.
    ASSERT_TRUE(platform::RegDeleteKey(engine::EngineRegistryKey()));
    engine::EngineLibrary lib = engine::LoadEngineLibrary();
    EXPECT_NE(lib.getClassObject, nullptr);
    std::string registered;
    EXPECT_TRUE(platform::RegGetString(engine::EngineRegistryKey(), "", &registered));
    EXPECT_NE(engine::LoadEngineLibrary().getClassObject, nullptr);
    if (had) platform::RegSetString(engine::EngineRegistryKey(), "", saved);
}

}  // namespace
