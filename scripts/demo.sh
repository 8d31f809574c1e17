#!/usr/bin/env bash
# The main job: builds uninst-pack, appends a sample payload with Chinese paths to a launcher
# and shows it back, readable and as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host --target uninst-pack >/dev/null

out=build/demo
mkdir -p "$out"
rm -f "$out/Uninst-with-payload.exe"
# A stand-in launcher image until the launcher program is built here.
printf 'MZ stand-in launcher image\n' > "$out/Uninst.exe"
cat > "$out/manifest.json" <<'JSON'
{
  "programFolderName": "Korvane",
  "installDir": "C:\\Program Files\\Korvane\\",
  "finalFile": "C:\\Program Files\\Korvane\\Uninst.exe",
  "groups": [
    {"folder": "C:\\Program Files\\Korvane\\模板",
     "files": ["C:\\Program Files\\Korvane\\模板\\简历.lvf", "C:\\Program Files\\Korvane\\模板\\报告.lvf"]},
    {"folder": "C:\\Program Files\\Korvane",
     "files": ["C:\\Program Files\\Korvane\\Korvane.exe", "C:\\Program Files\\Korvane\\帮助文档.chm"]}
  ]
}
JSON
pack=build/host/tools/uninst-pack/uninst-pack
"$pack" build --launcher "$out/Uninst.exe" --manifest "$out/manifest.json" --output "$out/Uninst-with-payload.exe"
echo "== uninst-pack inspect $out/Uninst-with-payload.exe"
"$pack" inspect "$out/Uninst-with-payload.exe"
echo "== uninst-pack inspect --json"
"$pack" inspect --json "$out/Uninst-with-payload.exe"
