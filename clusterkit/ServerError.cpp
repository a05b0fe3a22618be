#include "veltra/ServerError.h"

#include <cstdio>
#include <utility>

namespace veltra {

ServerError::~ServerError() = default;
const char* ServerError::what() const {
  return "unknown server error";
}

no_service::no_service(std::string clusterName, int service)
    : service_(service), clusterName_(std::move(clusterName)) {}

const char* no_service::what() const {
  std::snprintf(text_, sizeof text_, "%s has no service number %d", clusterName_.c_str(), service_);
  return text_;
}

duplicate_cluster::duplicate_cluster(int number) : number_(number) {}

const char* duplicate_cluster::what() const {
  std::snprintf(text_, sizeof text_, "duplicate cluster number %d", number_);
  return text_;
}

Stop::Stop(const char* text) : text_(text ? text : ""), hasText_(text != nullptr) {}

const char* Stop::what() const {
  if (!hasText_) return "";
  formatted_ = "server terminated: " + text_;
  return formatted_.c_str();
}

}  // namespace veltra
