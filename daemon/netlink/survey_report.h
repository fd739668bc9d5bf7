// The channel survey of the station interface, written to the daemon's log
// for the test-scan command: per channel the noise floor, the measured and
// busy times, any other item in hexadecimal and a summary line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/util/nl_message.h"

namespace ww {

struct RawChannel;

// The report lines for one survey-info attribute's payload.
void WriteSurveyInfo(nl::Bytes payload, FILE* out);

// The report lines for one answer message of the family's type.
void WriteSurveyMessage(const nl::Message& message, FILE* out);

// Requests the survey of interface `ifindex` and reports every answer,
// holding the channel lock until nothing more is queued.
void ReportChannelSurvey(RawChannel& channel, uint32_t ifindex, FILE* out);

// Surveys the station interface; when it has no index, says so and stops.
void ReportChannelSurvey(RawChannel& channel);

}  // namespace ww
