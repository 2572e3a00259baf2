#pragma once
// Sending one operation to a receiver once for each object of a list.
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <vector>

namespace MVPObjectAdditions {

// Calls `selector` on the receiver once per object, in order, with that object as the only argument;
// nothing for a missing array.
template<class Receiver, class Selector, class T>
void performSelector(Receiver& receiver, Selector selector, const std::vector<T>* objects)
{
    if (!objects)
        return;
    for (const T& object : *objects)
        std::invoke(selector, receiver, object);
}

template<class Receiver, class Selector, class T>
void performSelector(Receiver& receiver, Selector selector, const std::vector<T>& objects)
{
    performSelector(receiver, selector, &objects);
}

// The same for the first `count` objects of a C array.
template<class Receiver, class Selector, class T>
void performSelector(Receiver& receiver, Selector selector, const T* objects, size_t count)
{
    if (!objects)
        return;
    for (size_t i = 0; i < count; ++i)
        std::invoke(selector, receiver, objects[i]);
}

// The same for a literal list of objects.
template<class Receiver, class Selector, class T>
void performSelector(Receiver& receiver, Selector selector, std::initializer_list<T> objects)
{
    for (const T& object : objects)
        std::invoke(selector, receiver, object);
}

} // namespace MVPObjectAdditions
