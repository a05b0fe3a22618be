// Exceptions of the service layer. Thrown by value inside the engine and by
// cluster libraries, caught by reference on the server thread. The texts are
// formatted into a buffer of each object, so two threads never share one.
#pragma once

#include <string>

#include "veltra/Export.h"

namespace veltra {

class VELTRA_EXPORT ServerError {
 public:
  virtual ~ServerError();
  virtual const char* what() const;
};

class VELTRA_EXPORT no_service : public ServerError {
 public:
  no_service(std::string clusterName, int service);
  const char* what() const override;
  int Service() const { return service_; }
  const std::string& ClusterName() const { return clusterName_; }

 private:
  int service_;
  std::string clusterName_;
  mutable char text_[160] = {};
};

class VELTRA_EXPORT duplicate_cluster : public ServerError {
 public:
  explicit duplicate_cluster(int number);
  const char* what() const override;
  int Number() const { return number_; }

 private:
  int number_;
  mutable char text_[48] = {};
};

class VELTRA_EXPORT Stop : public ServerError {
 public:
  explicit Stop(const char* text = nullptr);
  const char* what() const override;

 private:
  std::string text_;
  bool hasText_;
  mutable std::string formatted_;
};

}  // namespace veltra
