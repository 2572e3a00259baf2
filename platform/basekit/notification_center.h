#pragma once
// HXNotificationCenter: synchronous broadcast of named notifications on the main thread.
//
// Observers register for a name, an object (the sender), both, or neither ("any"); posting calls every
// matching observer in the order of registration. Removing observers, adding observers and posting again
// from inside a callback are safe: a removed observer is not called any more, even later in the same post,
// and one added during a post is called from the next post on.
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A notification: a name, the object that sent it and a user-info dictionary.
// The object is an identity (`const void*`); when it is made from a shared_ptr the notification also keeps
// that object alive while it travels, and receivers can get it back with objectAs<T>().
class HXNotification {
public:
    HXNotification() = default;
    HXNotification(std::string name, const void* object = nullptr, HXPropertyList::Dictionary userInfo = {})
        : _name(std::move(name))
        , _object(object)
        , _userInfo(std::move(userInfo))
    {
    }
    template<class T>
    HXNotification(
        std::string name, const std::shared_ptr<T>& object, HXPropertyList::Dictionary userInfo = {})
        : _name(std::move(name))
        , _object(object.get())
        , _objectRef(std::const_pointer_cast<void>(std::static_pointer_cast<const void>(object)))
        , _userInfo(std::move(userInfo))
    {
    }

    const std::string& name() const { return _name; }
    const void* object() const { return _object; }
    const HXPropertyList::Dictionary& userInfo() const { return _userInfo; }
    // The sender as a shared_ptr of the type the poster used (nullptr when posted with a bare pointer).
    // The caller must know the type: compare object() with the expected sender first.
    template<class T> std::shared_ptr<T> objectAs() const { return std::static_pointer_cast<T>(_objectRef); }

private:
    std::string _name;
    const void* _object = nullptr;
    std::shared_ptr<void> _objectRef;
    HXPropertyList::Dictionary _userInfo;
};

// Identifies one observation; 0 is never used.
using HXObserverToken = uint64_t;

class HXNotificationCenter {
public:
    using Callback = std::function<void(const HXNotification&)>;

    static HXNotificationCenter& defaultCenter();

    HXNotificationCenter();
    ~HXNotificationCenter();
    HXNotificationCenter(const HXNotificationCenter&) = delete;
    HXNotificationCenter& operator=(const HXNotificationCenter&) = delete;

    // Observes `name` (empty: every name) from `object` (nullptr: any sender). `observer` is the identity
    // that removeObserver(observer) removes by; it may be nullptr when only the token is used.
    HXObserverToken addObserver(
        const void* observer, const std::string& name, const void* object, Callback callback);
    HXObserverToken addObserver(const std::string& name, const void* object, Callback callback)
    {
        return addObserver(nullptr, name, object, std::move(callback));
    }

    void removeObserver(HXObserverToken token);
    // Every observation of `observer`.
    void removeObserver(const void* observer);
    // The observations of `observer` for `name` (empty: any name) and `object` (nullptr: any object).
    void removeObserver(const void* observer, const std::string& name, const void* object = nullptr);

    void postNotification(const HXNotification& notification);
    void postNotificationName(
        const std::string& name, const void* object = nullptr, HXPropertyList::Dictionary userInfo = {});

    // The number of observations (for tests and diagnostics).
    size_t observationCount() const;

    struct Observation;

private:
    std::vector<std::shared_ptr<Observation>> _observations;
    uint64_t _nextToken = 1;
    int _postDepth = 0;
    bool _needsCompaction = false;
};
