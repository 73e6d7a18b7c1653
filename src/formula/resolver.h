// How a formula reads the values its names stand for.
#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

namespace formula {

// Gives the value of a name. An empty resolver means "no values available": the formula
// is still checked for errors, and its result is 0.
using Resolver = std::function<double(const std::string& name)>;

// Wraps any getter callable with a name (a registry lookup, a map in a tool, a host service
// of a plug-in) as a resolver. The getter is copied into the resolver; wrap it in std::ref
// when it must be shared instead.
template <class Getter>
requires std::is_invocable_r_v<double, Getter&, const std::string&> Resolver
make_resolver(Getter getter) {
  return [getter = std::move(getter)](const std::string& name) mutable -> double {
    return static_cast<double>(std::invoke(getter, name));
  };
}

// The resolver over a name-based value registry: every name is read with registry.get(name)
// at evaluation time, so a formula always sees the current values. The registry is held by
// reference and must outlive the resolver.
template <class Registry>
requires requires(Registry& registry, const std::string& name) {
  { registry.get(name) } -> std::convertible_to<double>;
}
Resolver registry_resolver(Registry& registry) {
  return [&registry](const std::string& name) -> double {
    return static_cast<double>(registry.get(name));
  };
}

}  // namespace formula
