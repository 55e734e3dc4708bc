// The apartment rule for walks that use the XML document model: the
// server's own services run multithreaded, any other host single-threaded.
// Linux has no COM, so ComScope decides and records, and does nothing else.
#pragma once
#include <string>

namespace tw {

enum class ComApartment { SingleThreaded, MultiThreaded };

ComApartment ApartmentForHost(const std::string& hostExecutablePath);

class ComScope {
 public:
  ComScope();
  ~ComScope() = default;
  ComApartment Apartment() const { return apartment_; }

 private:
  ComApartment apartment_;
};

}  // namespace tw
