// api_rsrc.cpp - viParseRsrc, viParseRsrcEx, viFindRsrc, viFindNext and the
// find lists they hand out.
#include "api_exports.h"  // first: the exports keep default visibility
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "api_guard.h"
#include "api_services.h"
#include "find_rsrc.h"

using namespace qmdc::visa;

namespace {

// Find lists have handles of their own, far above the sessions' (which
// count up from 1), and go with viClose or with their resource manager.
class FindLists {
  public:
    static FindLists& instance() {
        static FindLists* lists = new FindLists;  // closed lists may outlive exit
        return *lists;
    }
    ViFindList add(ViSession rm, std::vector<std::string> names) {
        std::lock_guard<std::mutex> guard(mutex_);
        const ViFindList handle = next_++;
        lists_[handle] = List{rm, std::move(names), 1};
        return handle;
    }
    bool contains(ViObject vi) {
        std::lock_guard<std::mutex> guard(mutex_);
        return lists_.count(vi) > 0;
    }
    // VI_ERROR_RSRC_NFOUND once every name was handed out.
    ViStatus next(ViFindList vi, std::string* name) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto it = lists_.find(vi);
        if (it == lists_.end()) return VI_ERROR_INV_OBJECT;
        List& list = it->second;
        if (list.next >= list.names.size()) return VI_ERROR_RSRC_NFOUND;
        *name = list.names[list.next++];
        return VI_SUCCESS;
    }
    ViStatus close(ViObject vi) {
        std::lock_guard<std::mutex> guard(mutex_);
        return lists_.erase(vi) > 0 ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
    }
    void closeOwnedBy(ViSession rm) {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = lists_.begin(); it != lists_.end();)
            it = it->second.owner == rm ? lists_.erase(it) : std::next(it);
    }

  private:
    struct List {
        ViSession owner;
        std::vector<std::string> names;
        size_t next;
    };
    std::mutex mutex_;
    ViFindList next_ = 0x7F000001u;
    std::map<ViFindList, List> lists_;
};

void copyName(ViChar* dest, const std::string& name) {
    if (dest != nullptr) std::snprintf(dest, VI_FIND_BUFLEN, "%s", name.c_str());
}

// Parses a name for viParseRsrc(Ex): the kinds this library does not open
// parse as well as the others.
ViStatus parseForCaller(ViSession rm, ViConstRsrc name, ResourceName* parsed) {
    if (!HandleTable::instance().isResourceManager(rm)) return VI_ERROR_INV_OBJECT;
    const ViStatus status = parseResourceName(name, parsed);
    return status == kUnsupportedKind ? VI_SUCCESS : status;
}

}  // namespace

namespace qmdc::visa {

bool isFindList(ViObject vi) {
    return FindLists::instance().contains(vi);
}

ViStatus closeFindList(ViObject vi) {
    return FindLists::instance().close(vi);
}

void closeFindListsOf(ViSession rm) {
    FindLists::instance().closeOwnedBy(rm);
}

}  // namespace qmdc::visa

extern "C" {

ViStatus _VI_FUNC viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                              ViPUInt16 intfNum) {
    return viParseRsrcEx(rmSesn, rsrcName, intfType, intfNum, VI_NULL, VI_NULL, VI_NULL);
}

ViStatus _VI_FUNC viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                ViPUInt16 intfNum, ViChar _VI_FAR rsrcClass[],
                                ViChar _VI_FAR expandedUnaliasedName[],
                                ViChar _VI_FAR aliasIfExists[]) {
    return guarded([&]() -> ViStatus {
        ResourceName parsed;
        const ViStatus status = parseForCaller(rmSesn, rsrcName, &parsed);
        if (status != VI_SUCCESS) return status;
        if (intfType != nullptr) *intfType = parsed.intfType;
        if (intfNum != nullptr) *intfNum = parsed.board;
        copyName(rsrcClass, parsed.rsrcClass);
        copyName(expandedUnaliasedName, parsed.canonical);
        copyName(aliasIfExists, "");  // this library knows no aliases
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar _VI_FAR desc[]) {
    if (vi != nullptr) *vi = VI_NULL;
    if (retCnt != nullptr) *retCnt = 0;
    return guarded([&]() -> ViStatus {
        if (!HandleTable::instance().isResourceManager(sesn)) return VI_ERROR_INV_OBJECT;
        std::regex pattern;
        const ViStatus status = compileExpression(expr, &pattern);
        if (status != VI_SUCCESS) return status;
        std::vector<std::string> found;
        const bool askLan = mayMatchLanName(expr);
        for (std::string& name : discoverResources(DiscoveryPlaces::fromEnvironment(), askLan))
            if (std::regex_match(name, pattern)) found.push_back(std::move(name));
        if (found.empty()) return VI_ERROR_RSRC_NFOUND;
        if (retCnt != nullptr) *retCnt = static_cast<ViUInt32>(found.size());
        copyName(desc, found.front());
        const ViFindList list = FindLists::instance().add(sesn, std::move(found));
        // Without a place for the handle nobody could close the list.
        if (vi != nullptr)
            *vi = list;
        else
            FindLists::instance().close(list);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar _VI_FAR desc[]) {
    return guarded([&]() -> ViStatus {
        if (desc == nullptr) return isFindList(vi) ? VI_ERROR_USER_BUF : VI_ERROR_INV_OBJECT;
        std::string name;
        const ViStatus status = FindLists::instance().next(vi, &name);
        if (status == VI_SUCCESS) copyName(desc, name);
        return status;
    });
}

}  // extern "C"
