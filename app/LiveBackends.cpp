// The real archive components behind the window's back-end interfaces.
#include "app/ArchiveBackends.h"

std::unique_ptr<TListerBackend> CreateLiveLister() {
    return nullptr;
}
std::unique_ptr<TZipBackend> CreateLiveZip() {
    return nullptr;
}
