#include "index/items/item_record.h"

#include <cstring>

namespace tw {
namespace {

template <size_t N>
void CopyIfPresent(const IndexItemPropertyContainer& c, std::string_view name, char (&field)[N]) {
  field[0] = '\0';
  const PropertyKey key = PropertyRegistry::Process().Lookup(name);
  if (c.Has(key)) c.CopyText(key, field, N);
}

void NumberIfPresent(const IndexItemPropertyContainer& c, std::string_view name, uint32_t& field) {
  const PropertyKey key = PropertyRegistry::Process().Lookup(name);
  field = c.Has(key) ? static_cast<uint32_t>(c.GetNumber(key)) : 0;
}

}  // namespace

bool CopyItemToRecord(const IndexItemPropertyContainer* container, int32_t detailLevel, StoreItemRecord& record) {
  if (container == nullptr) return false;
  const IndexItemPropertyContainer& c = *container;
  if (detailLevel == 0) {
    CopyIfPresent(c, kPropFlagStatus, record.flags);
  } else if (detailLevel == 1) {
    CopyIfPresent(c, "SUBJECT", record.subject);
    CopyIfPresent(c, kPropFlagStatus, record.flags);
    CopyIfPresent(c, "FROM", record.from);
    CopyIfPresent(c, "TO", record.to);
    CopyIfPresent(c, "CC", record.cc);
    NumberIfPresent(c, "SIZE", record.size);
    NumberIfPresent(c, "ATTACHMENTS", record.attachments);
    CopyIfPresent(c, "RECEIVED", record.received);
    CopyIfPresent(c, "MESSAGEDATE", record.messageDate);
    record.uid = static_cast<uint32_t>(c.GetNumber(kKeyUid));
    record.seq = static_cast<uint32_t>(c.GetNumber(kPropSeq));
    record.idx = static_cast<uint32_t>(c.GetNumber("IDX"));
    NumberIfPresent(c, "IMPORTANCE", record.importance);
  }
  return true;
}

}  // namespace tw
