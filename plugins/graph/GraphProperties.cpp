#include "plugins/graph/GraphProperties.h"

namespace veltra {

GraphProperties::GraphProperties() {
  givenText[Index(GraphProperty::Title)] = "Graph";
  givenText[Index(GraphProperty::XTitle)] = "Frequency";
  givenText[Index(GraphProperty::XUnit)] = "[Hz]";
  givenText[Index(GraphProperty::YTitle)] = "Amplitude";
  givenText[Index(GraphProperty::YUnit)] = "[dB]";
  givenNumber[Index(GraphProperty::XMin)] = 0;
  givenNumber[Index(GraphProperty::XSize)] = 100;
  givenNumber[Index(GraphProperty::YMin)] = 0;
  givenNumber[Index(GraphProperty::YSize)] = 100;
  givenNumber[Index(GraphProperty::PhysMin)] = 0;
  givenNumber[Index(GraphProperty::PhysSize)] = 100;
  CopyGivenToLocked();
}

void GraphProperties::SetLocked(GraphProperty p, bool on) {
  const int i = Index(p);
  if (on) {
    lockedText[i] = givenText[i];
    lockedNumber[i] = givenNumber[i];
  }
  locked[i] = on;
}

void GraphProperties::CopyGivenToLocked() {
  lockedText = givenText;
  lockedNumber = givenNumber;
}

const char* GraphPropertyName(GraphProperty p) {
  static const char* const kNames[kGraphPropertyCount] = {
      "Title", "XTitle", "XUnit", "YTitle", "YUnit", "XMin", "XSize", "YMin", "YSize", "PhysMin", "PhysSize"};
  return kNames[Index(p)];
}

}  // namespace veltra
