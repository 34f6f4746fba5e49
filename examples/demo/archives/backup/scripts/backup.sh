#!/bin/sh
echo "backup"
