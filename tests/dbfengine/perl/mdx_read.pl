# Reads an index file with Perl's XBase index reader.
#   mdx_read.pl walk FILE TAG          one line per entry in the tag's order: record|key in hex
#   mdx_read.pl find FILE TAG VALUE    the record of the first entry at or after VALUE
use strict;
use warnings;
use XBase::Index;

my ($mode, $file, $tag, $value) = @ARGV;
my $index = XBase::Index->new($file, tag => $tag) or die XBase::Index->errstr;
if ($mode eq 'find') {
    $index->prepare_select_eq($value) or die $index->errstr;
    my @entry = $index->fetch();
    print "$entry[1]\n" if @entry;
    exit 0;
}
$index->prepare_select or die $index->errstr;
while (my @entry = $index->fetch()) {
    print "$entry[1]|", unpack('H*', $entry[0]), "\n";
}
