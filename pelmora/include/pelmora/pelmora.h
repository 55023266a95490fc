// Pelmora, the in-process dataset engine: the types and interfaces that cross
// its binary boundary. Callers load libpelmora.so, take DllGetClassObject and
// reach every object through the interfaces declared here; records and
// descriptors are packed, little-endian, exactly as laid out below.
#pragma once

#include <cstdint>

// The wire constants callers share with the engine.
#include "pelmora/dataset_properties.h"
#include "pelmora/expression_format.h"
#include "pelmora/field_subtypes.h"
#include "platform/com.h"
#include "platform/safearray.h"

// ---------------------------------------------------------------------------
// Result codes. Operations return a 32-bit value whose low 16 bits are the code.
using EngineResult = uint32_t;

enum : uint16_t {
    DS_OK = 0,
    DSERR_BOF = 8705,                   // "At beginning of table."
    DSERR_EOF = 8706,                   // "At end of table."
    DSERR_KEYORRECDELETED = 8708,       // "Record/Key deleted."
    DSERR_NOCURRREC = 8709,             // "No current record."
    DSERR_RECNOTFOUND = 8710,           // "Could not find record."
    DSERR_OBJNOTFOUND = 8712,           // "Could not find object."
    DSERR_NESTEDOPEN = 8451,            // row value while a nested level is open (no message)
    DSERR_NOMEMORY = 9473,              // "Insufficient memory for this operation."
    DSERR_KEYVIOL = 9729,               // "Key violation."
    DSERR_REQDERR = 9732,               // "Field value required."
    DSERR_DETAILRECORDSEXIST = 9734,    // "Cannot delete master record with details."
    DSERR_FIELDISBLANK = 9740,          // "Field is blank."
    DSERR_OUTOFRANGE = 9985,            // "Number is out of range."
    DSERR_INVALIDPARAM = 9986,          // "Invalid parameter."
    DSERR_NOSUCHINDEX = 9997,           // "Index does not exist."
    DSERR_INVALIDFLDTYPE = 10000,       // "Invalid field type."
    DSERR_NAMENOTUNIQUE = 10009,        // "Name not unique in this context."
    DSERR_INDEXNAMEREQUIRED = 10010,    // "Index name required."
    DSERR_INVALIDINDEXNAME = 10022,     // "Invalid index/tag name."
    DSERR_INVALIDBLOBHANDLE = 10030,    // "Invalid BLOB handle in record buffer."
    DSERR_ACTIVEINDEX = 10035,          // "Index is being used to order table."
    DSERR_READONLYFLD = 10502,          // "Trying to modify read-only field."
    DSERR_NOTSUPPORTED = 10756,         // "Operation not applicable."
    DSERR_NOTINDEXED = 10757,           // "Data is not indexed."
    DSERR_READONLY = 10763,             // "Data is read only."
    DSERR_INDEXREADONLY = 10767,        // "Index is read only."
    DSERR_TYPEMISMATCH = 11871,         // "Type mismatch in expression."
    DSERR_CONSTRAINTFAILED = 11950,     // "Record or field constraint failed."
    DSERR_NOTCAPABLE = 12289,           // "Capability not supported."
    DSERR_DELTAISEMPTY = 16385,         // "Delta is empty."
    DSERR_NOTHINGTOUNDO = 16386,        // "Nothing to undo."
    DSERR_NOMETADATA = 16387,           // "Datapacket contains no meta data."
    DSERR_CANNOTAPPEND = 16388,         // "Trying to append data to a non-partial dataset."
    DSERR_DATAPACKETMISMATCH = 16389,   // "Mismatch in datapacket."
    DSERR_NEWERVERSIONREQ = 16392,      // "Newer version required."
    DSERR_BLOBNOTFETCHED = 16393,       // "Blob has not been fetched."
    DSERR_DETAILSNOTFETCHED = 16394,    // "Details has not been fetched."
    DSERR_NOMASTERRECORD = 16395,       // "No corresponding master record found."
    DSERR_LINKFIELDSNOTUNIQUE = 16396,  // "Linkfields to detail must be unique."
    DSERR_FLYAWAY_WRONGORDER = 16397,   // "Special case: wrong order of updates for fly-away!"
    DSERR_NOCASCADEDUPDATES = 16398,    // "Cascaded updates not enabled."
    DSERR_AGGNOTFOUND = 16399,          // "Aggregate was not found."
    DSERR_FIELDTYPENOTXML = 16400,      // "Fieldtype not supported for XML."
    DSERR_NOTFETCHEDINXML = 16401,      // not-fetched BLOB or details in an XML packet (no message)
};

inline uint16_t ResultCode(EngineResult r) {
    return static_cast<uint16_t>(r & 0xFFFF);
}

// ---------------------------------------------------------------------------
// Internal field types (FieldDesc.type).
enum : uint32_t {
    FLD_UNKNOWN = 0,
    FLD_STRING = 1,
    FLD_DATE = 2,
    FLD_BLOB = 3,
    FLD_BOOL16 = 4,
    FLD_INT16 = 5,
    FLD_INT32 = 6,
    FLD_FLOAT = 7,
    FLD_BCD = 8,
    FLD_BYTES = 9,
    FLD_TIME = 10,
    FLD_TIMESTAMP = 11,
    FLD_UINT16 = 12,
    FLD_UINT32 = 13,
    FLD_FLOAT80 = 14,
    FLD_VARBYTES = 15,
    FLD_INT64 = 18,
    FLD_UINT64 = 19,
    FLD_ADT = 20,
    FLD_ARRAY = 21,
    FLD_REF = 22,
    FLD_TABLE = 23,
    FLD_INT8 = 0x1001,
    FLD_UINT8 = 0x1002,
    FLD_BOOL8 = 0x1003,
    FLD_BOOL32 = 0x1004,
    FLD_UNICODE = 0x1007,
};

// Packet type word: bits 0-15 width / prefix width / child count, bits 16-21 base type.
enum : uint32_t {
    PKT_INT = 1,
    PKT_UINT = 2,
    PKT_BOOL = 3,
    PKT_FLOAT = 4,
    PKT_BCD = 5,
    PKT_DATE = 6,
    PKT_TIME = 7,
    PKT_TIMESTAMP = 8,
    PKT_STRING = 9,
    PKT_UNICODE = 10,
    PKT_BYTES = 11,
    PKT_ADT = 12,
    PKT_ARRAY = 13,
    PKT_TABLE = 14,
    PKT_REF = 15,
    PKT_BYTES16 = 16,  // read like PKT_BYTES
};
constexpr uint32_t PKT_WIDTH_MASK = 0x0000FFFF;
constexpr uint32_t PKT_BASE_SHIFT = 16;
constexpr uint32_t PKT_BASE_MASK = 0x003F0000;
constexpr uint32_t PKT_VARYING = 0x00400000;
constexpr uint32_t PKT_REPEATED = 0x00800000;
constexpr uint32_t PKT_COMPOSITE = 0x01000000;
constexpr uint32_t PKT_COMPOSITE_ARRAY = 0x02000000;
constexpr uint32_t PKT_COMPOSITE_TABLE = 0x04000000;
constexpr uint32_t PKT_ROUNDTRIP = 0x80000000;

inline uint32_t PacketBaseType(uint32_t word) {
    return (word & PKT_BASE_MASK) >> PKT_BASE_SHIFT;
}
inline uint32_t PacketWidth(uint32_t word) {
    return word & PKT_WIDTH_MASK;
}

// Field attribute bits (FieldDesc.attributes, PacketColumnDesc.attributes).
enum : uint32_t {
    ATTR_HIDDEN = 0x0001,
    ATTR_READONLY = 0x0002,
    ATTR_REQUIRED = 0x0004,
    ATTR_LINK = 0x0008,
    ATTR_CARRIED = 0x0010,
};

// Blank indicator bytes of a record buffer.
enum : uint8_t {
    IND_VALUE = 0,
    IND_BLANK = 1,
    IND_UNCHANGED = 2,
};

// Record status byte (store and packet rows).
enum : uint8_t {
    REC_UNCHANGED = 0x00,
    REC_SUPERSEDED = 0x01,
    REC_DELETED = 0x02,
    REC_INSERTED = 0x04,
    REC_MODIFIED = 0x08,
    REC_DISCARDED = 0x20,
};

// Change-log actions.
enum : uint32_t {
    LOG_DELETE = 2,
    LOG_INSERT = 4,
    LOG_MODIFY = 8,
    LOG_DETAIL_CHANGED = 64,
    LOG_REORDER = 256,
};

constexpr uint32_t BLOB_NOT_FETCHED = 0x80000000u;

// ---------------------------------------------------------------------------
// Records crossing the boundary (packed, little-endian).
#pragma pack(push, 1)
struct FieldDesc {
    char name[32];
    uint32_t type;
    uint32_t subtype;
    uint32_t units1;
    uint32_t units2;
    uint32_t length;
    uint32_t offset;
    uint32_t indicatorOffset;
    uint16_t fieldId;
    uint16_t parentId;
    uint32_t calculated;
    uint32_t attributes;
    uint32_t parameterCount;
};

struct PacketColumnDesc {
    char name[32];
    uint32_t typeWord;
    uint16_t attributes;
};

struct DatasetProps {
    char name[261];
    uint32_t fieldCount;
    uint32_t recordSize;
    uint32_t bookmarkSize;
    uint32_t readOnly;
    uint32_t indexCount;
    uint32_t parameterCount;
    uint32_t delta;
    uint32_t lcid;
    uint8_t reserved[32];
};

struct IndexDesc {
    char name[32];
    uint32_t fieldCount;
    uint32_t fields[16];
    uint32_t keyWidth;
    uint32_t unique;  // 0 none, 1 unique key, 2 primary key
    uint32_t descending[16];
    uint32_t caseInsensitive[16];
};

struct CursorBookmark {
    uint32_t position;
    uint32_t status;
    uint32_t recordNumber;
    uint32_t indexStamp;
    uint32_t indexIdentity;
};
#pragma pack(pop)

static_assert(sizeof(FieldDesc) == 76, "FieldDesc layout");
static_assert(sizeof(PacketColumnDesc) == 38, "PacketColumnDesc layout");
static_assert(sizeof(DatasetProps) == 325, "DatasetProps layout");
static_assert(sizeof(IndexDesc) == 236, "IndexDesc layout");
static_assert(sizeof(CursorBookmark) == 20, "CursorBookmark layout");

// ---------------------------------------------------------------------------
// Class and interface identifiers.
inline constexpr GUID CLSID_DSBase = {
    0x4F7A2C31, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID IID_IDSBase = {
    0x4F7A2C32, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID CLSID_DSCursor = {
    0x4F7A2C33, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID IID_IDSCursor = {
    0x4F7A2C34, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID CLSID_DSPacketWriter = {
    0x4F7A2C35, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID IID_IDSPacketWriter = {
    0x4F7A2C36, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID CLSID_DSPacketReader = {
    0x4F7A2C37, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};
inline constexpr GUID IID_IDSPacketReader = {
    0x4F7A2C38, 0x8B6D, 0x4E19, {0x9C, 0x3A, 0x71, 0xD5, 0xE0, 0xB2, 0xF4, 0xA8}};

// ---------------------------------------------------------------------------
// Callbacks into the caller; client-data words are pointer-sized.
using CalcCallback = uint32_t (*)(void* clientData, void* record);
using ChangeCallback = void (*)(void* clientData);
using FilterCallback = int32_t (*)(void* clientData, const void* record);
using ReconcileCallback = uint32_t (*)(void* clientData, uint32_t previousResult,
                                       uint32_t updateKind, uint32_t response, uint32_t code,
                                       const char* message, const char* context, void* current,
                                       void* old, void* errorValues);
using MergeCallback = uint32_t (*)(void* clientData, uint32_t previousResult, uint32_t updateKind,
                                   uint32_t response, uint32_t code, const char* message,
                                   const char* context, void* current, void* old, void* errorValues,
                                   uint32_t depth, const uint32_t* path);

struct IDSCursor;

// ---------------------------------------------------------------------------
// The dataset: one in-memory table.
struct IDSBase : IUnknown {
    virtual EngineResult DefineFields(uint32_t count, const FieldDesc* fields,
                                      const char* name) = 0;
    virtual EngineResult AddRuntimeField(const FieldDesc* desc) = 0;
    virtual EngineResult LoadPacket(SAFEARRAY* packet, int32_t last) = 0;
    virtual EngineResult FindParameter(uint32_t index, uint32_t field, const char** name,
                                       uint32_t* typeWord, uint32_t* length,
                                       const void** value) = 0;
    virtual EngineResult StoreParameter(uint32_t field, const char* name, uint32_t typeWord,
                                        uint32_t length, const void* value) = 0;
    virtual EngineResult ReadDatasetProps(DatasetProps* out) = 0;
    virtual EngineResult ListFields(FieldDesc* out) = 0;
    virtual EngineResult ListIndexes(IndexDesc* out) = 0;
    virtual EngineResult MakeDelta(IDSBase** out) = 0;
    virtual EngineResult WritePacket(SAFEARRAY** out) = 0;
    virtual EngineResult AcceptAllChanges() = 0;
    virtual EngineResult SetIndicator(void* record, uint32_t recordNumber, uint32_t field,
                                      uint32_t value) = 0;
    virtual EngineResult MakeIndex(const IndexDesc* desc) = 0;
    virtual EngineResult DropIndex(const char* name) = 0;
    virtual EngineResult ErrorText(uint32_t code, char* buffer) = 0;
    virtual int32_t CompareValues(uint32_t type, const void* a, const void* b, uint32_t length) = 0;
    virtual EngineResult ReadProperty(uint32_t id, void* out) = 0;
    virtual EngineResult WriteProperty(uint32_t id, uint32_t value) = 0;
    virtual EngineResult SetCalcCallback(void* clientData, CalcCallback callback) = 0;
    virtual EngineResult ApplyReconcileResult(SAFEARRAY* delta, SAFEARRAY* errors, void* clientData,
                                              ReconcileCallback callback) = 0;
    virtual EngineResult ReservedSlot23() = 0;
    virtual EngineResult ReservedSlot24() = 0;
    virtual EngineResult ReservedSlot25() = 0;
    virtual EngineResult ReservedSlot26() = 0;
    virtual EngineResult ClearRecords() = 0;
    virtual EngineResult UndoToSavepoint(uint32_t savepoint) = 0;
    virtual EngineResult GetNestedDataset(uint32_t field, IDSBase** out) = 0;
    virtual EngineResult EmbedDetail(IDSBase* detail, uint32_t count, const uint32_t* masterFields,
                                     const uint32_t* detailFields, const char* nestedName,
                                     const char* linkName) = 0;
    virtual EngineResult RefreshFromPacket(SAFEARRAY* packet, uint32_t recordNumber) = 0;
    virtual EngineResult DiscardBlobs(uint32_t reference) = 0;
    virtual EngineResult MakeDerived(uint32_t kind, int32_t includeNested, int32_t copyParameters,
                                     IDSBase** out) = 0;
    virtual EngineResult MergeChanges(IDSBase* view, SAFEARRAY* delta, SAFEARRAY* errors,
                                      void* clientData, MergeCallback callback) = 0;
    virtual EngineResult DropParameter(uint32_t field, const char* name) = 0;
};

// ---------------------------------------------------------------------------
// The cursor: a view through which a caller walks, reads and edits a dataset.
struct IDSCursor : IUnknown {
    virtual EngineResult AttachDataset(IDSBase* dataset) = 0;
    virtual EngineResult CopyCursor(IDSCursor* source) = 0;
    virtual EngineResult ReadCursorProps(DatasetProps* out) = 0;
    virtual EngineResult ReadIndexDescs(int32_t currentOnly, IndexDesc* out) = 0;
    virtual EngineResult ReadFieldDescs(FieldDesc* out) = 0;
    virtual EngineResult ReadCurrentRecord(void* record) = 0;
    virtual EngineResult NoOperation(void* ignored1, void* ignored2) = 0;
    virtual EngineResult SaveBookmark(CursorBookmark* out) = 0;
    virtual EngineResult ReadOrdinal(uint32_t* out) = 0;
    virtual EngineResult ReadRecordStatus(uint8_t* out) = 0;
    virtual EngineResult CountRecords(uint32_t* out) = 0;
    virtual EngineResult GoBeforeFirst() = 0;
    virtual EngineResult GoAfterLast() = 0;
    virtual EngineResult MoveBy(int32_t offset) = 0;
    virtual EngineResult GoToOrdinal(uint32_t ordinal) = 0;
    virtual EngineResult GoToBookmark(const CursorBookmark* bookmark) = 0;
    virtual EngineResult SeekKey(uint32_t mode, uint32_t fieldCount, uint32_t partialLength,
                                 const void* key) = 0;
    virtual EngineResult CompareBookmarkOrder(const CursorBookmark* a, const CursorBookmark* b,
                                              int32_t* out) = 0;
    virtual EngineResult BuildKeyFromRecord(const void* record, void* key) = 0;
    virtual EngineResult FindRecordByKey(uint32_t fieldCount, uint32_t partialLength,
                                         const void* key, void* record) = 0;
    virtual EngineResult ReadFieldValue(const void* record, uint32_t field, void* value,
                                        uint32_t* blank) = 0;
    virtual EngineResult WriteFieldValue(void* record, uint32_t field, const void* value) = 0;
    virtual EngineResult ReadBlobLength(const void* record, uint32_t field, uint32_t* length) = 0;
    virtual EngineResult ReadBlobData(const void* record, uint32_t field, uint32_t offset,
                                      void* buffer, uint32_t* length) = 0;
    virtual EngineResult WriteBlobData(void* record, uint32_t field, uint32_t offset,
                                       const void* buffer, uint32_t length) = 0;
    virtual EngineResult PrepareRecord(void* record) = 0;
    virtual EngineResult RemoveCurrentRecord() = 0;
    virtual EngineResult UpdateCurrentRecord(const void* record) = 0;
    virtual EngineResult AddRecord(const void* record) = 0;
    virtual EngineResult WithdrawLastChange(int32_t follow) = 0;
    virtual EngineResult AttachExpressionFilter(const void* bytes, uint32_t length,
                                                uint32_t* handle) = 0;
    virtual EngineResult DetachFilter(uint32_t handle) = 0;
    virtual EngineResult LimitToRange(int32_t fieldCount, const void* startKey,
                                      int32_t startInclusive, const void* endKey,
                                      int32_t endInclusive) = 0;
    virtual EngineResult ClearRange() = 0;
    virtual EngineResult SortByFields(uint32_t count, const uint32_t* fields,
                                      const uint32_t* descending,
                                      const uint32_t* caseInsensitive) = 0;
    virtual EngineResult SelectIndex(const char* name) = 0;
    virtual EngineResult SetChangeNotifier(void* clientData, ChangeCallback callback) = 0;
    virtual EngineResult AttachCallbackFilter(void* clientData, FilterCallback callback,
                                              uint32_t* handle) = 0;
    virtual EngineResult CheckFieldConstraint(uint32_t field, const void* value) = 0;
    virtual EngineResult ReadCursorProperty(uint32_t kind, void* out) = 0;
    virtual EngineResult RestoreCurrentRecord() = 0;
    virtual EngineResult FindNextMatch(const void* bytes, uint32_t length) = 0;
    virtual EngineResult AttachAggregate(uint32_t level, uint32_t length, const void* bytes,
                                         uint32_t* handle) = 0;
    virtual EngineResult DetachAggregate(uint32_t handle) = 0;
    virtual EngineResult ReadAggregateValue(uint32_t handle, void* value, uint32_t* blank) = 0;
    virtual EngineResult ReadAggregateDesc(uint32_t handle, FieldDesc* out) = 0;
    virtual EngineResult SkipToNextGroup(uint32_t level) = 0;
    virtual EngineResult ReadGroupPlacement(uint32_t level, uint32_t* out) = 0;
    virtual EngineResult LinkDetailCursor(uint32_t count, const uint32_t* masterFields,
                                          const uint32_t* detailFields, IDSCursor* detail) = 0;
    virtual EngineResult SyncWithMaster() = 0;
    virtual EngineResult WriteCursorProperty(uint32_t kind, uint32_t value) = 0;
    virtual EngineResult ReadRecordNumber(uint32_t* out) = 0;
    virtual EngineResult BuildRowRequest(int32_t keyFieldsOnly, int32_t requestBlobs,
                                         int32_t requestDetails, int32_t withMetadata,
                                         SAFEARRAY** out) = 0;
    virtual EngineResult MergeRowResponse(SAFEARRAY* packet) = 0;
};

// ---------------------------------------------------------------------------
// The datapacket writer and reader.
struct IDSPacketWriter : IUnknown {
    virtual EngineResult BeginPacket(uint32_t kind, uint16_t columnCount) = 0;
    virtual EngineResult BeginRowsOnly(uint32_t kind, uint16_t columnCount,
                                       const PacketColumnDesc* columns) = 0;
    virtual EngineResult AddParameter(uint32_t area, const char* name, uint32_t typeWord,
                                      uint32_t length, const void* value) = 0;
    virtual EngineResult TakePacket(SAFEARRAY** out) = 0;
    virtual EngineResult ReadPacketSize(uint32_t* size) = 0;
    virtual EngineResult PutValue(uint32_t status, uint32_t length, const void* value) = 0;
    virtual EngineResult AddColumn(const PacketColumnDesc* column) = 0;
    virtual EngineResult RestartRows() = 0;
    virtual EngineResult ReadColumnCount(uint32_t* count) = 0;
    virtual EngineResult ReadColumns(PacketColumnDesc* out) = 0;
    virtual EngineResult ErrorText(uint32_t code, char* buffer) = 0;
    virtual EngineResult CloseNestedRows() = 0;
    virtual EngineResult SetXmlOutput(uint32_t mode) = 0;
    virtual uint32_t ReadXmlOutput() = 0;
};

struct IDSPacketReader : IUnknown {
    virtual EngineResult OpenPacket(SAFEARRAY* packet) = 0;
    virtual EngineResult OpenRows(SAFEARRAY* packet) = 0;
    virtual EngineResult NextColumn(PacketColumnDesc* out) = 0;
    virtual EngineResult PeekParameterLength(uint32_t* length) = 0;
    virtual EngineResult NextParameter(char* name, uint32_t* typeWord, uint32_t* length,
                                       void* value) = 0;
    virtual EngineResult PeekValueLength(uint32_t* length) = 0;
    virtual EngineResult NextValue(uint32_t* length, void* value, uint32_t* status) = 0;
    virtual EngineResult ErrorText(uint32_t code, char* buffer) = 0;
    virtual uint32_t ReadXmlInput() = 0;
};

// The housekeeping object handed out by InitQuilmet: objects without class objects.
struct IQuilmet {
    virtual EngineResult MakeDataset(IDSBase** out) = 0;
    virtual EngineResult MakeCursor(IDSBase* dataset, IDSCursor** out) = 0;
};

// Exports of libpelmora.so (C linkage), as function-pointer types for callers
// that load the library at run time.
extern "C" {
using PFN_DllGetClassObject = HRESULT (*)(const GUID* clsid, const GUID* iid, void** out);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_InitQuilmet = HRESULT (*)(void** out);
using PFN_ExitQuilmet = HRESULT (*)(void** inout);
using PFN_DllRegisterServer = HRESULT (*)();
using PFN_DllUnregisterServer = HRESULT (*)();
}
