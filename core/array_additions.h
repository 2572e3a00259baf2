#pragma once
// Set operations on arrays that keep the receiver's order and its duplicates.
#include <cstddef>
#include <set>
#include <vector>

namespace MVPArrayAdditions {

template<class T> bool containsObject(const std::vector<T>& array, const T& object)
{
    for (const T& element : array) {
        if (element == object)
            return true;
    }
    return false;
}

// The receiver's objects that `other` contains, in the receiver's order, duplicates kept; empty when
// there is no other array.
template<class T>
std::vector<T> objectsCommonWithArray(const std::vector<T>& receiver, const std::vector<T>* other)
{
    std::vector<T> result;
    if (!other)
        return result;
    for (const T& object : receiver) {
        if (containsObject(*other, object))
            result.push_back(object);
    }
    return result;
}

template<class T>
std::vector<T> objectsCommonWithArray(const std::vector<T>& receiver, const std::vector<T>& other)
{
    return objectsCommonWithArray(receiver, &other);
}

// The receiver's objects that `other` does not contain, in order; empty when there is no other array.
template<class T>
std::vector<T> arrayByRemovingObjectsInArray(const std::vector<T>& receiver, const std::vector<T>* other)
{
    std::vector<T> result;
    if (!other)
        return result;
    for (const T& object : receiver) {
        if (!containsObject(*other, object))
            result.push_back(object);
    }
    return result;
}

template<class T>
std::vector<T> arrayByRemovingObjectsInArray(const std::vector<T>& receiver, const std::vector<T>& other)
{
    return arrayByRemovingObjectsInArray(receiver, &other);
}

// For each object of `objects`, the first index in the receiver of an equal object; objects that are
// not found add nothing.
template<class T>
std::set<size_t> indexesOfObjects(const std::vector<T>& receiver, const std::vector<T>& objects)
{
    std::set<size_t> indexes;
    for (const T& object : objects) {
        for (size_t i = 0; i < receiver.size(); ++i) {
            if (receiver[i] == object) {
                indexes.insert(i);
                break;
            }
        }
    }
    return indexes;
}

// The receiver keeps only the objects that `other` contains (all of them go when there is none).
template<class T> void removeObjectsNotCommonWithArray(std::vector<T>& receiver, const std::vector<T>* other)
{
    receiver = objectsCommonWithArray(receiver, other);
}

template<class T> void removeObjectsNotCommonWithArray(std::vector<T>& receiver, const std::vector<T>& other)
{
    removeObjectsNotCommonWithArray(receiver, &other);
}

} // namespace MVPArrayAdditions
