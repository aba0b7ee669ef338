# Shared by the benches that run the installer in a throw-away Wine
# environment of their own (sourced, not run): the environment lives in the
# folder $env_dir, and the tests' scripts below $source_dir bring it up and
# down.

# Brings the environment up for the tests' wine-run, which finds it through
# KAVEL_WINE_DIR, with a folder tools/ for the bench's programs.
wine_env_up() {
  "$source_dir/tests/wine/env-up.sh" "$env_dir" >/dev/null
  export KAVEL_WINE_DIR=$env_dir
  mkdir -p "$env_dir/tools"
}

# Takes the environment down, whatever state it is in, and removes its folder.
wine_env_down() {
  "$source_dir/tests/wine/env-down.sh" "$env_dir" >/dev/null 2>&1 || true
  rm -rf "$env_dir"
}
