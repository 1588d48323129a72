#!/usr/bin/env bash
# The CI pipelines run for real: the GitHub workflow is validated by action-validator, and
# the GitLab pipeline runs locally under gitlab-ci-local (shell executor) in a git work tree
# of its own, against the demonstration catalogue and the stand-in IDE vxide. Every
# project's job must pass, and the JUnit reports must name every tagged application of the
# catalogue with its outcome and validate against docs/junit.xsd.
#
#   tests/ci/pipelines_test.sh SOURCE BUILD      (BUILD holds zelt, vxide, vxcmd and plm)
set -euo pipefail
source_root=$1
build_root=$2
started=$(date +%s)
fail() { echo "FAILED: $*" >&2; exit 1; }

tools=$(bash "$source_root/scripts/ci-tools" --check) || fail "the npm tools are missing"

# The workflow validates, and the validator refuses a broken copy of it.
"$tools/action-validator" "$source_root/ci/github-workflow.yml" \
  || fail "action-validator refused ci/github-workflow.yml"
work=$(mktemp -d /tmp/zelt-pipelines-XXXXXX)
trap 'rm -rf "$work"' EXIT
sed 's/runs-on:/runs_on:/' "$source_root/ci/github-workflow.yml" > "$work/broken.yml"
if "$tools/action-validator" "$work/broken.yml" > /dev/null 2>&1; then
  fail "action-validator took a workflow whose jobs have no runs-on"
fi

# The demonstration catalogue, and a repository that holds the pipeline as GitLab finds it.
bash "$source_root/scripts/demo-catalogue" "$work/demo" "$build_root"
repo=$work/repo
mkdir -p "$repo/ci"
cp "$source_root/ci/zelt-ci" "$source_root/ci/gitlab-ci.yml" "$repo/ci/"
cp "$source_root/ci/gitlab-ci.yml" "$repo/.gitlab-ci.yml"
git -C "$repo" init -q
git -C "$repo" add -A
git -C "$repo" -c user.name=zelt -c user.email=zelt@localhost commit -qm "the pipeline"

zelt=$build_root/app/zelt
projects=$(cd "$work/demo" && "$zelt" --list projects --json)
tagged=$(cd "$work/demo" && "$zelt" --list applications --json \
  | jq -c '[.[] | select(.tag == 1 and .project != null)]')
[ "$(jq length <<< "$projects")" -ge 2 ] || fail "the demonstration has too few projects: $projects"

(cd "$repo" && HOME="$work/home" timeout 150 "$tools/gitlab-ci-local" \
   --variable "ZELT_PREBUILT=$build_root" --variable "ZELT_CATALOGUE=$work/demo") \
  > "$work/pipeline.log" 2>&1 || { cat "$work/pipeline.log"; fail "gitlab-ci-local ended with $?"; }

# gitlab-ci-local closes with a line per job; a child pipeline's jobs are named
# "[projects] -> make: [PROJECT]".
for job in build list projects; do
  grep -Eq "^ PASS +$job *\$" "$work/pipeline.log" || { cat "$work/pipeline.log"; fail "job $job did not pass"; }
done
! grep -Eq "^ FAIL " "$work/pipeline.log" || { cat "$work/pipeline.log"; fail "a job failed"; }
while IFS= read -r project; do
  grep -Fq " PASS  [projects] -> make: [$project]" "$work/pipeline.log" \
    || { cat "$work/pipeline.log"; fail "the job of project $project did not pass"; }
  report=$repo/reports/junit-$project.xml
  [ -f "$report" ] || fail "no JUnit report for project $project"
  xmllint --noout --schema "$source_root/docs/junit.xsd" "$report" 2> /dev/null \
    || fail "the report of $project does not validate: $(xmllint --noout --schema "$source_root/docs/junit.xsd" "$report" 2>&1)"
  head -n 1 "$repo/reports/log-$project.csv" | grep -q '^Application,Date,Time,Event' \
    || fail "no activity log (CSV) for project $project"
done < <(jq -r '.[].project' <<< "$projects")

# Every tagged application is in its project's report, with the outcome the demonstration
# means it to have.
expected='{"HELLO.APP":"finished","GREET.APP":"finished","COUNT.APP":"finished",
           "MISSING.APP":"skipped","NOTARGET.APP":"skipped"}'
while IFS=$'\t' read -r application project; do
  report=$repo/reports/junit-$project.xml
  case=$(printf '//testcase[@name="%s" and @classname="%s"]' "$application" "$project")
  [ "$(xmllint --xpath "count($case)" "$report")" = 1 ] \
    || fail "$application is not named once in the report of $project"
  if [ "$(xmllint --xpath "count($case/skipped)" "$report")" = 1 ]; then outcome=skipped
  elif [ "$(xmllint --xpath "count($case/failure|$case/error)" "$report")" != 0 ]; then outcome=failed
  else outcome=finished; fi
  want=$(jq -r --arg a "$application" '.[$a] // "unknown"' <<< "$expected")
  [ "$outcome" = "$want" ] || fail "$application: $outcome in the report, $want meant"
  echo "$project: $application $outcome"
done < <(jq -r '.[] | [.application, .project] | @tsv' <<< "$tagged")
[ "$(jq length <<< "$tagged")" = 5 ] || fail "the demonstration's tagged applications: $tagged"
[ -x "$work/demo/tools/bin/hello" ] && [ -x "$work/demo/reports/bin/count" ] || fail "nothing was made"

echo "the pipelines' test took $(( $(date +%s) - started )) s"
