// The postoffice configuration provider. It loads and answers its version;
// mailbox enumeration comes with the quota work.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) uint32_t PoCfg_GetVersion(void) { return 1; }
