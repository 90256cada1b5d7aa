#include "RenderJobs.h"

#include <sys/stat.h>

#include "AudioOutput.h"
#include "ToolError.h"

namespace {

// "songs/a.mid" -> "a"; a name without an extension is kept whole.
std::string stemOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string folderPrefix(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string defaultName(const std::string& input, FileFormat format) {
  const bool named = !input.empty() && input != "-";
  return (named ? stemOf(input) : std::string("out")) + extensionOf(format);
}

}  // namespace

std::vector<RenderJob> planJobs(const Options& options) {
  const std::string& output = options.output;
  const bool intoFolder = !output.empty() && output.back() == '/';
  const bool intoFile = !output.empty() && !intoFolder;

  OutputFormat format;
  if (options.format) {
    format.file = *options.format;
  } else if (intoFile && output != "-") {
    struct stat info {};
    if (stat(output.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      throw UsageError("output '" + output + "' is a folder (end the name with / to write into it)");
    const auto byExtension = formatForPath(output);
    if (!byExtension)
      throw UsageError("cannot tell the format of output '" + output +
                       "' from its extension; known: " + knownExtensions() +
                       " (or give --format)");
    format.file = *byExtension;
  }
  if (options.bitDepth) {
    const std::string problem = depthProblem(format.file, *options.bitDepth);
    if (!problem.empty()) throw UsageError(problem + " (--bit-depth)");
    format.depth = *options.bitDepth;
  }

  std::vector<std::string> inputs = options.midiFiles;
  if (inputs.empty()) inputs.push_back("");  // the demo
  std::vector<RenderJob> jobs;
  for (const std::string& input : inputs) {
    RenderJob job{input, output, format};
    if (intoFolder) {
      job.output = output + defaultName(input, format.file);
    } else if (!intoFile) {
      const bool named = !input.empty() && input != "-";
      job.output = (named ? folderPrefix(input) : "") + defaultName(input, format.file);
    }
    jobs.push_back(job);
  }
  return jobs;
}
