#!/usr/bin/env bash
# Installs the peer equalisers that the benchmark program compares the module with: LSP's
# parametric equaliser and ZamEQ2, as Debian packages them (64-bit modules of the same interface).
# For the benchmark only: no test may depend on them.
source "$(dirname "$0")/lib.sh"
install_packages lsp-plugins-vst zam-plugins
