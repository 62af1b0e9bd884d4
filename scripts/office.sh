#!/usr/bin/env bash
# Installs what is missing, builds, lays out a working folder unless one is there, and starts
# the back office on it.   Usage: scripts/office.sh [FOLDER]   (default: ~/varnel-desk)
VARNEL_PROGRAM=varnel-office exec "$(dirname "$0")/run.sh" "$@"
