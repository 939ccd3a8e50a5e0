#include "framework/data/MCTupletPrefs.h"

#include <iterator>
#include <new>

#include "framework/data/MCTuplet.h"
#include "framework/data/TupletRules.h"

namespace {

constexpr FieldMapRow kSupplementRows[] = {
    {{'1', '4'}, 0, 0, 0, 4, 2, kConvertWord, 0},
    {{'1', '4'}, 0, 0, 2, 5, 2, kConvertWord, 0},
    {{'6', '9'}, 0, 0, 4, 0, 2, kConvertWord, 0},
    {{'2', '3'}, 0, 0, 6, 5, 2, kConvertWord, 0},
};
constexpr FieldMap kSupplementMap{kSupplementRows, static_cast<int32_t>(std::size(kSupplementRows))};

}  // namespace

MCTupletPrefs::MCTupletPrefs() : Definition{} { RecordSize = TupletDefinition::kSize; }

int32_t MCTupletPrefs::ClassID() const { return 114; }

const char* MCTupletPrefs::ClassName() const { return "MCTupletPrefs"; }

uint8_t* MCTupletPrefs::DataBuffer() { return Definition.Bytes; }

__MCBaseData* MCTupletPrefs::CreateObject() { return new (std::nothrow) MCTupletPrefs; }

uint32_t MCTupletPrefs::Tag() { return kTag; }

int MCTupletPrefs::LoadSize() { return TupletDefinition::kSize; }

void MCTupletPrefs::CopyDataFrom(const __MCBaseData& other) {
    if (other.ClassName() != ClassName()) return;
    Definition = static_cast<const MCTupletPrefs&>(other).Definition;
    UseOwnBuffer(Definition.Bytes, TupletDefinition::kSize);
}

bool MCTupletPrefs::Load(uint16_t number) {
    // A main block of another size than 30 bytes does not load: it would
    // lend its missing fields to every tuplet reset from it.
    if (!__MCPrefsBase::Load(number)) return false;
    uint32_t count = kSupplementBytes;
    return LoadVersionedFields(kSupplementMap, SupplementBytes(), &count, &SupplementLoaded);
}

bool MCTupletPrefs::Save() {
    if (!__MCPrefsBase::Save()) return false;
    if (!SupplementLoaded) return true;
    return SaveVersionedFields(kSupplementMap, SupplementBytes(), kSupplementBytes);
}

bool MCTupletPrefs::LoadFirst() { return Load(kDocumentDefaults); }

bool MCTupletPrefs::CopyToTuplet(MCTuplet* tuplet) const {
    if (tuplet == nullptr) return false;
    CopyTupletDefinition(Definition, tuplet->Definition, true);
    return true;
}

bool MCTupletPrefs::CopyFromTuplet(const MCTuplet* tuplet, bool withPosition) {
    if (tuplet == nullptr) return false;
    CopyTupletDefinition(tuplet->Definition, Definition, withPosition);
    return true;
}
