// Starts the S3-compatible test server with the command line of its package
// (the package ships its command-line code but not the script that runs it).
'use strict';
require('@20minutes/s3rver/lib/cli.js').parseAsync(process.argv);
