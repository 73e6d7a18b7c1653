#include "journals/mud_additives.h"

namespace journals {

MudAdditives::MudAdditives(ErrorSink log, lib::FileSystem& fs)
    : KeyedJournal(std::move(log), fs), provider_(std::make_unique<MudAdditiveDictsProvider>()) {}

lib::DictsProvider* MudAdditives::get_dict_provider() const {
  std::lock_guard guard(mutex());
  return provider_.get();
}

void MudAdditives::set_dicts_provider(std::unique_ptr<lib::DictsProvider> provider) {
  std::lock_guard guard(mutex());
  provider_ = provider ? std::move(provider) : std::make_unique<MudAdditiveDictsProvider>();
}

void MudAdditives::set_default_dicts_provider() {
  set_dicts_provider(nullptr);
}

}  // namespace journals
