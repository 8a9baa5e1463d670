// The instrument's lock, one for every port that has locks: HiSLIP sessions and VXI-11 links
// take it alike, so that a HiSLIP exclusive lock keeps VXI-11 clients out and the other way
// round. Either one holder has it exclusively, or holders share it under one key (HiSLIP's
// shared locks; VXI-11 has only exclusive ones). The socket and the terminal have no locks.
#ifndef QMDC_EMULATOR_APP_INSTRUMENT_LOCK_H
#define QMDC_EMULATOR_APP_INSTRUMENT_LOCK_H

#include <map>
#include <string>

namespace qmdc::emu {

class InstrumentLock {
  public:
    using Owner = const void*;  // a HiSLIP session or a VXI-11 link
    enum class Held { None, Exclusive, Shared };

    // Whether another holder's lock keeps `owner` from the instrument: an exclusive lock, or
    // a shared one that `owner` does not hold too (a client without the key waits).
    bool Blocks(Owner owner) const {
        return (exclusive_ != nullptr && exclusive_ != owner) ||
               (!shared_.empty() && shared_.count(owner) == 0);
    }
    bool CanLock(Owner owner, bool exclusive, const std::string& key) const {
        if (exclusive_ != nullptr && exclusive_ != owner) return false;
        for (const auto& [holder, heldKey] : shared_) {
            if (holder != owner && (exclusive || heldKey != key)) return false;
        }
        return true;
    }
    void Grant(Owner owner, bool exclusive, const std::string& key) {
        if (exclusive) {
            exclusive_ = owner;
        } else {
            shared_[owner] = key;
        }
    }
    // Gives up the exclusive lock, or else the shared one; says which it was.
    Held Release(Owner owner) {
        if (exclusive_ == owner && owner != nullptr) {
            exclusive_ = nullptr;
            ++releases_;
            return Held::Exclusive;
        }
        if (shared_.erase(owner) != 0) {
            ++releases_;
            return Held::Shared;
        }
        return Held::None;
    }
    // Both, when the holder goes away.
    void ReleaseAll(Owner owner) {
        while (Release(owner) != Held::None) {
        }
    }
    bool ExclusiveHeld() const { return exclusive_ != nullptr; }
    size_t Holders() const {
        return shared_.size() + (exclusive_ != nullptr && shared_.count(exclusive_) == 0 ? 1 : 0);
    }
    // Grows at every release: a waiting request may now be granted.
    unsigned long releases() const { return releases_; }

  private:
    Owner exclusive_ = nullptr;
    std::map<Owner, std::string> shared_;
    unsigned long releases_ = 0;
};

}  // namespace qmdc::emu

#endif
