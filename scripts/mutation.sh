#!/usr/bin/env bash
# Mutation check of the core logic, for developers (too slow for every test run): plants one
# plausible fault at a time in each listed file, rebuilds, runs that file's tests and lists the
# faults no test noticed. Needs a configured and built build/default.
#
#   scripts/mutation.sh                     every file below, 40 mutants each
#   scripts/mutation.sh probe/RewriteJob.cpp --max 100 --lines 300-420
#
# Extra arguments after the first file are passed to the tool. The seed is fixed so that runs
# compare; pass --seed N to draw other mutants. A larger --max keeps the same first 40 and draws
# more after them, so --max 200 runs every mutant of each listed file.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool="$repo/../shared/tools/mutants.py"
build="build/default"
tests="$build/tests"
cd "$repo"
# The tests run straight from their binaries, without the environment ctest gives them.
export QT_QPA_PLATFORM=offscreen

if [ ! -f "$tool" ]; then
  echo "mutation.sh: the mutation tool is not at $tool" >&2
  exit 2
fi

# file | ninja targets | test command (inside the private desktop session)
plan() {
  # A mutant can make a test loop for ever; the tool's own time limit ends only the shell, so
  # each test binary carries a shorter one of its own.
  local t="timeout -k 5 100"
  local pipeline="$t $tests/probe/rewrite_job_tests --gtest_brief=1"
  local probe="$t $tests/probe/pipeline_probe_tests --gtest_brief=1"
  local conversion="$t $tests/app/conversion/conversion_tests --gtest_brief=1"
  local core="$t $tests/runner/runner_core_test --gtest_brief=1"
  local protocol="$t $tests/protocol/protocol_tests --gtest_brief=1"
  local text="$t $tests/platform/text/text_platform_tests --gtest_brief=1"
  local runner="$t $tests/runner/rewrite_runner_test --gtest_brief=1"
  local delivery="$t $tests/app/delivery/delivery_tests --gtest_brief=1"
  local archive="$t $tests/platform/updates/update_archive_tests --gtest_brief=1"
  local service="$t $tests/platform/updates/update_service_tests --gtest_brief=1"
  local rules="$t $tests/platform/languagemodel/languagemodel_rules_test --gtest_brief=1"
  local model="$t $tests/platform/languagemodel/system_language_model_test --gtest_brief=1"
  local controller="$t $tests/app/controller/controller_tests --gtest_brief=1"
  cat <<PLAN
probe/RewriteJob.cpp|rewrite_job_tests|$pipeline
probe/PipelineProbe.cpp|pipeline-probe pipeline_probe_tests|$probe
app/conversion/LiteralMasking.cpp|conversion_tests|$conversion
app/conversion/WrittenChinesePreparation.cpp|conversion_tests|$conversion
app/conversion/OutputMode.cpp|conversion_tests|$conversion
protocol/RewriteRequest.cpp|runner_core_test protocol_tests rewrite-runner rewrite_runner_test|$core && $protocol && $runner
protocol/TokenBudget.h|runner_core_test rewrite-runner rewrite_runner_test|$core && $runner
protocol/RewriteReply.cpp|runner_core_test protocol_tests rewrite-runner rewrite_runner_test|$core && $protocol && $runner
platform/text/Utf8Text.cpp|text_platform_tests runner_core_test|$text && $core
platform/modelavailability/Availability.cpp|languagemodel_rules_test protocol_tests|$rules && $protocol
runner/Run.cpp|rewrite-runner rewrite_runner_test|$runner
app/delivery/FocusedInputWriter.cpp|delivery_tests|$delivery
app/controller/Conversion.cpp|controller_tests|$controller
app/controller/ConversionAhead.cpp|controller_tests|$controller
app/conversion/TextPieces.cpp|conversion_tests|$conversion
app/controller/Recording.cpp|controller_tests|$controller
app/controller/Application.cpp|controller_tests|$controller
platform/updates/ArchiveTools.cpp|update_archive_tests update_service_tests|$archive && $service
platform/updates/UpdateSignature.cpp|update_archive_tests update_service_tests|$archive && $service
platform/languagemodel/PromptLookup.cpp|languagemodel_rules_test|$rules
platform/languagemodel/DraftPolicy.cpp|languagemodel_rules_test|$rules
platform/languagemodel/LanguageModelSession.cpp|system_language_model_test rewrite-runner rewrite_runner_test|$model && $runner
PLAN
}

only=""
extra=()
if [ "$#" -gt 0 ] && [[ "$1" != --* ]]; then
  only=$1
  shift
fi
extra=("$@")

found=0
while IFS='|' read -r file targets command; do
  if [ -n "$only" ] && [ "$file" != "$only" ]; then
    continue
  fi
  found=1
  echo "== $file"
  scripts/test-session.sh python3 "$tool" "$file" --build "$build" --targets "$targets" \
    --test "$command" --max 40 --seed 1 "${extra[@]}" || true
done < <(plan)

if [ "$found" -eq 0 ]; then
  echo "mutation.sh: $only is not in the list; the files are:" >&2
  plan | cut -d'|' -f1 >&2
  exit 2
fi
