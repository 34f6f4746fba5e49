#!/bin/sh
echo "instkit demo tool"
