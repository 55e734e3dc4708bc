#include "index/items/index_item.h"

#include <cstring>
#include <utility>

#include "common/text.h"

namespace tw {

IndexItem::IndexItem(IndexItem&& other) noexcept
    : kind(other.kind),
      container_(std::exchange(other.container_, nullptr)),
      owning_(std::exchange(other.owning_, false)) {
  std::memcpy(postoffice, other.postoffice, sizeof postoffice);
  std::memcpy(mailbox, other.mailbox, sizeof mailbox);
  std::memcpy(folderName, other.folderName, sizeof folderName);
  std::memcpy(folderPath, other.folderPath, sizeof folderPath);
}

void IndexItem::Attach(IndexItemPropertyContainer* container, bool owning) {
  if (owning_ && container_ != container) delete container_;
  container_ = container;
  owning_ = container != nullptr && owning;
}

bool IndexItem::Set(std::string_view name, std::string_view text) {
  if (!SetPlain(name, text)) return false;
  if (name == kPropFlagStatus) container_->SetText(kKeyRead, ContainsNoCase(text, "\\SEEN") ? "1" : "0");
  return container_->Has(name);
}

bool IndexItem::SetPlain(std::string_view name, std::string_view text) {
  if (container_ == nullptr) return false;
  container_->SetText(name, text);
  return container_->Has(name);
}

bool IndexItem::SetNumber(std::string_view name, int32_t n) {
  if (container_ == nullptr) return false;
  container_->SetNumber(name, n);
  return container_->Has(name);
}

bool IndexItem::ClearStatus() {
  if (container_ == nullptr) return false;
  container_->Clear(kPropStatus);
  return container_->Has(kPropStatus);
}

}  // namespace tw
